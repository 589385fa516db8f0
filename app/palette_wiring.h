#pragma once

#include <memory>

namespace tonmiro::input {
class JianpuSheet;
class PickerController;
class PictureGrid;
} // namespace tonmiro::input

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
    class ScoreTarget;

    MainWindow& m_window;
    input::PictureGrid* m_palette = nullptr; // owned by the "鼠标输入" page
    input::JianpuSheet* m_sheet = nullptr;   // owned by the "简谱" page
    std::unique_ptr<ScoreTarget> m_score;
    std::unique_ptr<input::PickerController> m_picker;
};

} // namespace tonmiro::app
