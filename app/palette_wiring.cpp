#include "app/palette_wiring.h"

#include "app/main_window.h"

namespace tonmiro::app {

PaletteWiring::PaletteWiring(MainWindow& window) : m_window(window) {}

PaletteWiring::~PaletteWiring() = default;

void PaletteWiring::buildPalette() {}

void PaletteWiring::setSheetPictureColumns() {}

void PaletteWiring::destroyPicker() {}

} // namespace tonmiro::app
