#pragma once

namespace tonmiro::app {

class MainWindow;

// Connects the glyph grids to the main window: the main palette 高级表格2 on "鼠标输入", the jianpu
// sheet 高级表格1 on "简谱", and the pop-up PickerWindow. UI thread only.
class PaletteWiring {
public:
    // Creates both grids on their tab pages. Called while the layout is built.
    explicit PaletteWiring(MainWindow& window);
    ~PaletteWiring();

    // Window-created sequence, steps in this order.
    void buildPalette();
    void setSheetPictureColumns();

    // Shutdown: destroys the pop-up if it exists (never creates it).
    void destroyPicker();

private:
    MainWindow& m_window;
};

} // namespace tonmiro::app
