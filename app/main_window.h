#pragma once

#include <QWidget>

#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QShortcut;

namespace tonmiro::sound {
class SoundDevice;
}

namespace tonmiro::app {

class ScoreEdit;
class KeyboardWiring;
class PaletteWiring;
class PlaybackBridge;
class DocumentDialogs;
class ScoreDocument;
class SpeedSlider;
class TabControl;

// The main window: every control of the layout, the window-created sequence, the handlers of
// the play toggle and the sliders, and the shutdown sequence. UI thread only.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // dialogs: the file dialog and the save question; nullptr for the program's own.
    explicit MainWindow(sound::SoundDevice& sound, DocumentDialogs* dialogs = nullptr,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    sound::SoundDevice& soundDevice() { return m_sound; }
    ScoreEdit* scoreEdit() const { return m_scoreEdit; }
    QPushButton* playToggle() const { return m_playToggle; } // 选择框播放, checkable
    SpeedSlider* speedSlider() const { return m_speedSlider; }
    QLabel* speedLabel() const { return m_speedLabel; }
    QComboBox* tempoList() const { return m_tempoList; }
    QSlider* volumeSlider() const { return m_volumeSlider; }
    QPushButton* saveButton() const { return m_saveButton; }
    ScoreDocument& document() const { return *m_document; }
    QGroupBox* keyboardGroup() const { return m_keyboardGroup; }  // 分组框1
    QWidget* mouseInputPage() const { return m_mouseInputPage; }  // "鼠标输入"
    QWidget* keyboardInputPage() const { return m_keyboardPage; } // "键盘输入"
    QWidget* sheetPage() const { return m_sheetPage; }            // "简谱"

    // Gives the keyboard focus back to the score, as after every slider move and palette click.
    void focusScore();

    // The "will be destroyed" sequence: ends the playback thread, then destroys the pop-up.
    // Runs once, when a close request has been let through (and at the latest on destruction).
    void shutdown();

signals:
    // A close request was let through and the window has shut down.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void windowCreated();
    void fitOuterSize();
    void playToggleClicked();
    void speedSliderMoved();
    void tempoChosen(int index);
    void volumeMoved();

    sound::SoundDevice& m_sound;
    bool m_shutDown = false;

    QPushButton* m_newButton = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_playToggle = nullptr;
    SpeedSlider* m_speedSlider = nullptr;
    QLabel* m_speedLabel = nullptr;
    QComboBox* m_tempoList = nullptr;
    QSlider* m_volumeSlider = nullptr;
    TabControl* m_scoreTabs = nullptr;
    TabControl* m_inputTabs = nullptr;
    ScoreEdit* m_scoreEdit = nullptr;
    QWidget* m_sheetPage = nullptr;
    QWidget* m_mouseInputPage = nullptr;
    QWidget* m_keyboardPage = nullptr;
    QGroupBox* m_keyboardGroup = nullptr;

    std::unique_ptr<DocumentDialogs> m_ownDialogs;
    std::unique_ptr<ScoreDocument> m_document;
    std::unique_ptr<KeyboardWiring> m_keyboard;
    std::unique_ptr<PaletteWiring> m_palettes;
    std::unique_ptr<PlaybackBridge> m_playback;
};

} // namespace tonmiro::app
