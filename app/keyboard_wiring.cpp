#include "app/keyboard_wiring.h"

#include "app/main_window.h"
#include "app/score_edit.h"
#include "input/key_handler.h"
#include "input/keyboard_device.h"
#include "input/keyboard_view.h"
#include "input/qt_key_source.h"
#include "sound/sound_device.h"

#include <QGroupBox>

namespace tonmiro::app {

// The key handler's effects on the window: the note sample, the on-screen button and the score.
class KeyboardWiring::Actions : public input::KeyActions {
public:
    Actions(MainWindow& window, input::KeyboardView& view) : m_window(window), m_view(view) {}

    void playSample(int sample) override { m_window.soundDevice().playSampleNow(sample); }

    void setButtonEnabled(input::KeyCode button, bool enabled) override {
        m_view.setButtonEnabled(button, enabled);
    }

    void replaceSelection(QByteArrayView gbkText) override {
        if (ScoreEdit* edit = m_window.scoreEdit()) {
            edit->replaceSelection(gbkText.toByteArray());
        }
    }

private:
    MainWindow& m_window;
    input::KeyboardView& m_view;
};

KeyboardWiring::KeyboardWiring(MainWindow& window)
    : m_window(window), m_view(std::make_unique<input::KeyboardView>(window.keyboardGroup())),
      m_device(std::make_unique<input::KeyboardDevice>()),
      m_actions(std::make_unique<Actions>(window, *m_view)),
      m_handler(std::make_unique<input::KeyHandler>(*m_device, *m_actions)),
      m_source(std::make_unique<input::QtKeySource>(*m_device)) {
    QObject::connect(m_source.get(), &input::QtKeySource::keyStateChanged, m_source.get(),
                     [this](input::KeyCode code, input::KeyState state) {
                         m_handler->handle({code, state});
                     });
}

KeyboardWiring::~KeyboardWiring() = default;

void KeyboardWiring::attach() {
    m_source->attach(&m_window);
}

void KeyboardWiring::setPollingPeriod(int milliseconds) {
    m_source->setPollingPeriod(milliseconds);
}

} // namespace tonmiro::app
