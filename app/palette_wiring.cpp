#include "app/palette_wiring.h"

#include "app/main_window.h"
#include "app/score_edit.h"
#include "input/jianpu_sheet.h"
#include "input/palette_table.h"
#include "input/picker_window.h"
#include "input/picture_grid.h"
#include "sound/sound_device.h"

namespace tonmiro::app {

// The score side of a palette click or a pick: the note's sample, the edit box and the focus.
class PaletteWiring::ScoreTarget final : public input::NoteTarget {
public:
    explicit ScoreTarget(MainWindow& window) : m_window(window) {}

    void playSample(int sample) override { m_window.soundDevice().playSampleNow(sample); }
    void replaceSelection(const QByteArray& text) override {
        if (ScoreEdit* edit = m_window.scoreEdit())
            edit->replaceSelection(text);
    }
    void focusScore() override {
        // After a pick the pop-up was the active window; the keys that follow belong to the score.
        m_window.activateWindow();
        m_window.focusScore();
    }

private:
    MainWindow& m_window;
};

PaletteWiring::PaletteWiring(MainWindow& window)
    : m_window(window), m_palette(input::createGlyphPalette(window.mouseInputPage())),
      m_sheet(new input::JianpuSheet(window.sheetPage())), m_score(std::make_unique<ScoreTarget>(window)),
      m_picker(std::make_unique<input::PickerController>(*m_sheet, *m_score)) {
    // Places within the tab pages, as laid out for the main window.
    m_palette->setGeometry(4, 23, 595, 254);
    m_sheet->setGeometry(4, 24, 862, 456);

    QObject::connect(m_palette, &input::PictureGrid::leftButtonReleased, m_palette,
                     [this] { input::clickPalette(m_palette->currentCell(), *m_score); });
}

PaletteWiring::~PaletteWiring() = default;

void PaletteWiring::buildPalette() {
    input::buildGlyphPalette(*m_palette);
}

void PaletteWiring::setSheetPictureColumns() {
    m_sheet->setPictureColumns();
}

void PaletteWiring::destroyPicker() {
    m_picker->destroyPicker();
}

} // namespace tonmiro::app
