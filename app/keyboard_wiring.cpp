#include "app/keyboard_wiring.h"

#include "app/main_window.h"

namespace tonmiro::app {

KeyboardWiring::KeyboardWiring(MainWindow& window) : m_window(window) {}

KeyboardWiring::~KeyboardWiring() = default;

void KeyboardWiring::attach() {}

void KeyboardWiring::setPollingPeriod(int milliseconds) { Q_UNUSED(milliseconds); }

} // namespace tonmiro::app
