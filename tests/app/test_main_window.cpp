#include "app/main_window.h"
#include "app/score_document.h"
#include "app/score_edit.h"
#include "app/speed_slider.h"
#include "sound/sound_device.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using tonmiro::app::MainWindow;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void startState();
    void tempoList_data();
    void tempoList();
    void volumeSetsBothLevels_data();
    void volumeSetsBothLevels();
    void playToggleCaptionFollowsCheckedState();
    void speedSliderMovesShowTheirPosition();
    void speedSliderWritesHoldAnyPosition_data();
    void speedSliderWritesHoldAnyPosition();
    void tempoChoiceSetsSliderAndKeepsFocus();
    void escapeClosesTheWindow();
    void escapeRunsTheCloseGuardFirst();

private:
    tonmiro::sound::SoundDevice* m_sound = nullptr;
    MainWindow* m_window = nullptr;
    template <class T> T* find(const char* name) const {
        return m_window->findChild<T*>(QString::fromUtf8(name));
    }
};

void TestMainWindow::init() {
    m_sound = new tonmiro::sound::SoundDevice;
    m_window = new MainWindow(*m_sound);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->activateWindow();
}

void TestMainWindow::cleanup() {
    delete m_window;
    delete m_sound;
}

void TestMainWindow::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    const auto row = [](const char* name, const char* parent, QRect g, const char* caption,
                        bool enabled = true) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(parent) << g
                            << QString::fromUtf8(caption) << enabled;
    };
    row("按钮新建文件", "MainWindow", {2, 2, 50, 20}, "新建");
    row("按钮打开文件", "MainWindow", {54, 2, 50, 20}, "打开");
    row("按钮保存文件", "MainWindow", {106, 2, 50, 20}, "保存", false);
    row("选择框播放", "MainWindow", {181, 10, 54, 33}, "播放");
    row("分组框3", "MainWindow", {245, 0, 328, 51}, "速度调节");
    row("滑块条速度", "分组框3", {8, 14, 104, 30}, "");
    row("标签速度", "分组框3", {113, 14, 30, 30}, "");
    row("组合框速度", "分组框3", {145, 18, 176, 20}, "");
    row("分组框4", "MainWindow", {574, 0, 118, 51}, "音量调节");
    row("滑块条音量", "分组框4", {8, 14, 104, 30}, "");
    row("选择夹2", "MainWindow", {-1, 51, 872, 485}, "");
    row("编辑框1", "选择夹2", {4, 24, 862, 457}, "");
    row("选择夹1", "MainWindow", {-1, 536, 873, 281}, "");
    row("分组框1", "选择夹1", {4, 24, 387, 201}, "");
    row("标签1", "选择夹1", {394, 24, 166, 201}, "");
    row("标签2", "选择夹1", {561, 24, 304, 201}, "");
}

void TestMainWindow::layout() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QWidget* w = m_window->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    // Places are relative to the named parent (a tab control's pages cover the whole control).
    QWidget* p = parent == QLatin1String("MainWindow") ? m_window : m_window->findChild<QWidget*>(parent);
    QVERIFY(p && p->isAncestorOf(w));
    QCOMPARE(QRect(w->mapTo(p, QPoint(0, 0)), w->size()), geometry);
    QCOMPARE(w->isEnabled(), enabled);
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QCOMPARE(b->text(), caption);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        QCOMPARE(g->title(), caption);
    } else if (auto* l = qobject_cast<QLabel*>(w); l && name == QString::fromUtf8("标签速度")) {
        QCOMPARE(l->text(), caption);
    }
}

void TestMainWindow::startState() {
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tonmiro"));
    QCOMPARE(m_window->frameGeometry().size(), QSize(876, 840));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize()); // fixed frame
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_window->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(m_window->speedSlider()->position(), 88);
    QCOMPARE(m_window->speedSlider()->value(), 88);
    QCOMPARE(m_window->speedSlider()->minimum(), 36);
    QCOMPARE(m_window->speedSlider()->maximum(), 200);
    QCOMPARE(m_window->speedSlider()->singleStep(), 5);
    QCOMPARE(m_window->speedSlider()->pageStep(), 5);
    QCOMPARE(m_window->speedLabel()->text(), QString());
    QCOMPARE(m_window->volumeSlider()->value(), 100);
    QVERIFY(!m_sound->volume().has_value()); // no volume set until the user moves the slider
    QVERIFY(!m_window->playToggle()->isChecked());
    QVERIFY(m_window->playToggle()->isCheckable());
    QCOMPARE(m_window->scoreEdit()->text(), QByteArray());
    QVERIFY(m_window->scoreEdit()->isVisible());      // "元音代码" shown
    QVERIFY(m_window->mouseInputPage()->isVisible()); // "鼠标输入" shown
    QVERIFY(!m_window->sheetPage()->isVisible());
    QVERIFY(!m_window->keyboardInputPage()->isVisible());
    QVERIFY(find<QLabel>("标签1")->text().contains(QString::fromUtf8("超低：⒒⒓⒔⒕⒖⒗⒘")));
    QVERIFY(find<QLabel>("标签2")->text().endsWith(QString::fromUtf8("换行符代表简谱中的竖线分隔符。")));
}

void TestMainWindow::tempoList_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("unit");
    const char* texts[] = {"Grave 庄板 40拍/分钟 ",         "Largo 广板 46～50拍/分钟 ",
                           "Lento 慢板 52～54拍/分钟 ",     "Adagio 柔板 56～58拍/分钟 ",
                           "Andante 行板 66～69拍/分钟 ",   "Andantino 小行板 69～72拍/分钟 ",
                           "Moderato 中板 88～104拍/分钟 ", "Allegretto 小快板 108~116拍/分钟 ",
                           "Allegro 快板 132～144拍/分钟 ", "Presto 急板 184～200拍/分钟 "};
    const int units[] = {188, 163, 144, 133, 113, 108, 85, 69, 57, 41};
    for (int i = 0; i < 10; ++i) {
        QTest::addRow("%d", i) << i << QString::fromUtf8(texts[i]) << units[i];
    }
}

void TestMainWindow::tempoList() {
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(int, unit);
    QComboBox* list = m_window->tempoList();
    QCOMPARE(list->count(), 10);
    QCOMPARE(list->currentIndex(), 6);
    QVERIFY(!list->isEditable());
    QCOMPARE(list->itemText(index), text);
    QCOMPARE(list->itemData(index).toInt(), unit);
}

void TestMainWindow::volumeSetsBothLevels_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("level");
    QTest::newRow("0") << 100 << int(Qt::Key_Home) << 0 << 0;
    QTest::newRow("1") << 6 << int(Qt::Key_Left) << 1 << 655;
    QTest::newRow("50") << 55 << int(Qt::Key_Left) << 50 << 32767;
    QTest::newRow("99") << 94 << int(Qt::Key_Right) << 99 << 64879;
    QTest::newRow("100") << 0 << int(Qt::Key_End) << 100 << 65535;
}

void TestMainWindow::volumeSetsBothLevels() {
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, position);
    QFETCH(int, level);
    QSlider* volume = m_window->volumeSlider();
    {
        const QSignalBlocker block(volume);
        volume->setValue(from);
    }
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key(key));
    QCOMPARE(volume->value(), position);
    QVERIFY(m_sound->volume().has_value());
    QCOMPARE(*m_sound->volume(), quint32(level) | (quint32(level) << 16));
    QCOMPARE(QApplication::focusWidget(), m_window->scoreEdit());
}

void TestMainWindow::playToggleCaptionFollowsCheckedState() {
    // A long first token, so playback does not reach the end between the clicks.
    m_window->scoreEdit()->setText(QByteArray("\xA2\xD9\xA2\xDA"));
    m_window->speedSlider()->setPosition(30000);
    QPushButton* toggle = m_window->playToggle();
    for (int i = 0; i < 4; ++i) {
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(toggle->isChecked(), i % 2 == 0);
        QCOMPARE(toggle->text(), i % 2 == 0 ? QStringLiteral("停止") : QStringLiteral("播放"));
        QCOMPARE(QApplication::focusWidget(), m_window->scoreEdit());
    }
}

void TestMainWindow::speedSliderMovesShowTheirPosition() {
    tonmiro::app::SpeedSlider* slider = m_window->speedSlider();
    QSignalSpy moved(slider, &tonmiro::app::SpeedSlider::moved);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Home);
    QCOMPARE(m_window->speedLabel()->text(), QStringLiteral("36"));
    QCOMPARE(slider->position(), 36);
    QCOMPARE(QApplication::focusWidget(), m_window->scoreEdit());
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    QCOMPARE(m_window->speedLabel()->text(), QStringLiteral("41"));
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    QCOMPARE(m_window->speedLabel()->text(), QStringLiteral("200"));
    QCOMPARE(moved.count(), 3);
}

void TestMainWindow::speedSliderWritesHoldAnyPosition_data() {
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("thumb");
    QTest::newRow("in range") << 62 << 62 << 62;
    QTest::newRow("240 bpm") << 31 << 31 << 36;
    QTest::newRow("slow") << 1000 << 1000 << 200;
    QTest::newRow("negative") << -7 << 0 << 36;
    QTest::newRow("too large") << 70000 << 32767 << 200;
}

void TestMainWindow::speedSliderWritesHoldAnyPosition() {
    QFETCH(int, written);
    QFETCH(int, position);
    QFETCH(int, thumb);
    tonmiro::app::SpeedSlider* slider = m_window->speedSlider();
    QSignalSpy moved(slider, &tonmiro::app::SpeedSlider::moved);
    slider->setPosition(written);
    QCOMPARE(slider->position(), position);
    QCOMPARE(slider->value(), thumb);
    QCOMPARE(moved.count(), 0);
    QCOMPARE(m_window->speedLabel()->text(), QString());
}

void TestMainWindow::tempoChoiceSetsSliderAndKeepsFocus() {
    QComboBox* list = m_window->tempoList();
    list->setFocus();
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(list, Qt::Key_Up); // each step confirms an item
    }
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(m_window->speedSlider()->position(), 188);
    QCOMPARE(m_window->speedSlider()->value(), 188);
    QCOMPARE(m_window->speedLabel()->text(), QStringLiteral("188"));
    QCOMPARE(QApplication::focusWidget(), list);
    list->setCurrentIndex(9);
    emit list->activated(9);
    QCOMPARE(m_window->speedLabel()->text(), QStringLiteral("41"));
}

void TestMainWindow::escapeClosesTheWindow() {
    QSignalSpy closed(m_window, &MainWindow::closed);
    m_window->scoreEdit()->setFocus();
    QTest::keyClick(m_window->scoreEdit(), Qt::Key_Escape);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!m_window->isVisible());
}

void TestMainWindow::escapeRunsTheCloseGuardFirst() {
    struct Cancel final : tonmiro::app::DocumentDialogs {
        int asked = 0;
        std::optional<QString> askSavePath(const QString&) override { return std::nullopt; }
        std::optional<QString> askOpenPath(const QString&) override { return std::nullopt; }
        Answer askSaveChanges() override {
            ++asked;
            return Answer::Cancel;
        }
    } dialogs;
    MainWindow window(*m_sound, &dialogs);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.scoreEdit()->replaceSelection(QByteArray("\xA2\xD9\xA2\xDA\xA2\xDB"));
    window.speedSlider()->setPosition(1);
    QTest::keyClick(window.scoreEdit(), Qt::Key_Escape);
    QCOMPARE(dialogs.asked, 1);
    QVERIFY(window.isVisible());
    // Playback still runs after the refused close.
    window.playToggle()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.playToggle()->isChecked(), 5000);
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
