#include "app/main_window.h"

#include "app/keyboard_wiring.h"
#include "app/palette_wiring.h"
#include "app/playback_bridge.h"
#include "app/score_document.h"
#include "app/score_edit.h"
#include "app/speed_slider.h"
#include "app/tab_control.h"
#include "input/keyboard_view.h"
#include "sound/sound_device.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QTimer>

namespace tonmiro::app {

namespace {

constexpr int kOuterWidth = 876;
constexpr int kOuterHeight = 840;

const QString kPlayCaption = QStringLiteral("播放");
const QString kStopCaption = QStringLiteral("停止");

// The named tempos and the TimeUnit length (ms) each stands for.
struct NamedTempo {
    const char* text;
    int unit;
};
constexpr NamedTempo kTempos[] = {
    {"Grave 庄板 40拍/分钟 ", 188},        {"Largo 广板 46～50拍/分钟 ", 163},
    {"Lento 慢板 52～54拍/分钟 ", 144},    {"Adagio 柔板 56～58拍/分钟 ", 133},
    {"Andante 行板 66～69拍/分钟 ", 113},  {"Andantino 小行板 69～72拍/分钟 ", 108},
    {"Moderato 中板 88～104拍/分钟 ", 85}, {"Allegretto 小快板 108~116拍/分钟 ", 69},
    {"Allegro 快板 132～144拍/分钟 ", 57}, {"Presto 急板 184～200拍/分钟 ", 41},
};
constexpr int kStartTempoIndex = 6;

const char* const kRegisterLegend =
    "超高：⑾⑿⒀⒁⒂⒃⒄\r\n\r\n高音：⑴⑵⑶⑷⑸⑹⑺\r\n\r\n中音：①②③④⑤⑥⑦\r\n\r\n低音：⒈⒉⒊⒋⒌⒍⒎\r\n\r\n超低：⒒⒓⒔⒕⒖⒗⒘"
    "\r\n\r\n其它：—·０\r\n";
const char* const kDurationLegend =
    "说明：\r\n\r\n没有下划线的音符，是一拍，有8个音长，在代码中表达为⑤———————。\r\n\r\n一条下划线的音符，是4"
    "/"
    "8拍，有4个音长，在代码中表达为⑤———。\r\n\r\n二条下划线的音符，是2/"
    "8拍，有2个音长，在代码中表达为⑤—。\r\n\r\n"
    "三条下划线的音符，是1/8拍，有1个音长，在代码中表达为⑤。\r\n\r\n换行符代表简谱中的竖线分隔符。";

template <class W> W* place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                        int height) {
    return place(new QPushButton(QString::fromUtf8(caption), parent), name, left, top, width, height);
}

QSlider* setUpSlider(QSlider* slider, int minimum, int maximum, int position) {
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(minimum, maximum);
    slider->setValue(position);
    slider->setSingleStep(5);
    slider->setPageStep(5);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(5);
    slider->setTracking(true);
    return slider;
}

QLabel* makeLegend(QWidget* parent, const char* name, const char* text, int pixelSize, int left, int top,
                   int width, int height) {
    QString shown = QString::fromUtf8(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto* label = place(new QLabel(shown, parent), name, left, top, width, height);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(input::KeyboardView::songFont(pixelSize));
    return label;
}

} // namespace

MainWindow::MainWindow(sound::SoundDevice& sound, DocumentDialogs* dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_sound(sound) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Tonmiro"));
    setFixedSize(kOuterWidth, kOuterHeight);
    if (const QScreen* s = screen()) {
        // Centred; integer halves truncate towards zero, so the top is negative on a short screen.
        const QRect r = s->geometry();
        move(r.left() + (r.width() - kOuterWidth) / 2, r.top() + (r.height() - kOuterHeight) / 2);
    }
    buildLayout();

    if (!dialogs) {
        m_ownDialogs = std::make_unique<QtDocumentDialogs>(this);
        dialogs = m_ownDialogs.get();
    }
    m_document = std::make_unique<ScoreDocument>(*m_scoreEdit, *m_saveButton, *this, *dialogs);
    connect(m_newButton, &QPushButton::clicked, m_document.get(), &ScoreDocument::newScore);
    connect(m_openButton, &QPushButton::clicked, m_document.get(), &ScoreDocument::open);
    connect(m_saveButton, &QPushButton::clicked, m_document.get(), &ScoreDocument::save);

    // Esc closes the window exactly as the close button does, whichever control has the focus.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    esc->setContext(Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, &QWidget::close);

    windowCreated();
}

MainWindow::~MainWindow() {
    shutdown();
}

void MainWindow::buildLayout() {
    m_newButton = makeButton(this, "按钮新建文件", "新建", 2, 2, 50, 20);
    m_openButton = makeButton(this, "按钮打开文件", "打开", 54, 2, 50, 20);
    m_saveButton = makeButton(this, "按钮保存文件", "保存", 106, 2, 50, 20);
    m_saveButton->setEnabled(false);

    m_playToggle = makeButton(this, "选择框播放", "播放", 181, 10, 54, 33);
    m_playToggle->setCheckable(true);
    connect(m_playToggle, &QPushButton::clicked, this, &MainWindow::playToggleClicked);

    auto* tempoGroup = place(new QGroupBox(QStringLiteral("速度调节"), this), "分组框3", 245, 0, 328, 51);
    m_speedSlider = place(new SpeedSlider(tempoGroup), "滑块条速度", 8, 14, 104, 30);
    setUpSlider(m_speedSlider, 36, 200, 88);
    m_speedSlider->setPosition(88);
    connect(m_speedSlider, &SpeedSlider::moved, this, &MainWindow::speedSliderMoved);
    m_speedLabel = place(new QLabel(tempoGroup), "标签速度", 113, 14, 30, 30);
    m_tempoList = place(new QComboBox(tempoGroup), "组合框速度", 145, 18, 176, 20);
    m_tempoList->setEditable(false);
    for (const NamedTempo& t : kTempos) {
        m_tempoList->addItem(QString::fromUtf8(t.text), t.unit);
    }
    m_tempoList->setCurrentIndex(kStartTempoIndex);
    connect(m_tempoList, &QComboBox::activated, this, &MainWindow::tempoChosen);

    auto* volumeGroup = place(new QGroupBox(QStringLiteral("音量调节"), this), "分组框4", 574, 0, 118, 51);
    m_volumeSlider = place(new QSlider(volumeGroup), "滑块条音量", 8, 14, 104, 30);
    setUpSlider(m_volumeSlider, 0, 100, 100);
    // No volume is set at start: the handler runs only on the user's moves.
    connect(m_volumeSlider, &QSlider::valueChanged, this, &MainWindow::volumeMoved);

    m_scoreTabs = place(new TabControl(this), "选择夹2", -1, 51, 872, 485);
    QWidget* scorePage = m_scoreTabs->addPage(QStringLiteral("元音代码"));
    m_sheetPage = m_scoreTabs->addPage(QStringLiteral("简谱"));
    m_scoreEdit = new ScoreEdit(scorePage);
    m_scoreEdit->setGeometry(4, 24, 862, 457);

    m_inputTabs = place(new TabControl(this), "选择夹1", -1, 536, 873, 281);
    m_mouseInputPage = m_inputTabs->addPage(QStringLiteral("鼠标输入"));
    m_keyboardPage = m_inputTabs->addPage(QStringLiteral("键盘输入"));
    m_keyboardGroup = place(new QGroupBox(m_keyboardPage), "分组框1", 4, 24, 387, 201);
    makeLegend(m_keyboardPage, "标签1", kRegisterLegend, 16, 394, 24, 166, 201);
    makeLegend(m_keyboardPage, "标签2", kDurationLegend, 12, 561, 24, 304, 201);

    m_keyboard = std::make_unique<KeyboardWiring>(*this);
    m_palettes = std::make_unique<PaletteWiring>(*this);
    m_playback = std::make_unique<PlaybackBridge>(*this);
    connect(m_playToggle, &QPushButton::toggled, this, [this] { m_playback->toggleChanged(); });

    m_scoreEdit->setFocus();
}

void MainWindow::windowCreated() {
    const quintptr handle = quintptr(winId());
    m_sound.bind(handle);
    m_keyboard->attach();
    m_keyboard->setPollingPeriod(10);
    m_palettes->buildPalette();
    m_palettes->setSheetPictureColumns();
    // Last, so the playback thread finds every control set up.
    m_playback->start();
}

void MainWindow::focusScore() {
    m_scoreEdit->setFocus(Qt::OtherFocusReason);
}

void MainWindow::playToggleClicked() {
    m_playToggle->setText(m_playToggle->isChecked() ? kStopCaption : kPlayCaption);
    focusScore();
}

void MainWindow::speedSliderMoved() {
    m_speedLabel->setText(QString::number(m_speedSlider->position()));
    focusScore();
}

void MainWindow::tempoChosen(int index) {
    Q_UNUSED(index);
    const QVariant unit = m_tempoList->itemData(m_tempoList->currentIndex());
    m_speedSlider->setPosition(unit.isValid() ? unit.toInt() : -1);
    m_speedLabel->setText(QString::number(m_speedSlider->position()));
}

void MainWindow::volumeMoved() {
    const int v = m_volumeSlider->value();
    const auto level = [](int percent) { return quint16(percent * 65535 / 100); };
    m_sound.setVolume(level(v), level(v));
    focusScore();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The outer size counts the frame, which is known only once the window is on screen.
    QTimer::singleShot(0, this, &MainWindow::fitOuterSize);
    QTimer::singleShot(300, this, &MainWindow::fitOuterSize);
}

void MainWindow::fitOuterSize() {
    const QSize frame = frameGeometry().size() - size();
    const QSize client(kOuterWidth - frame.width(), kOuterHeight - frame.height());
    if (client != size() && client.width() > 0 && client.height() > 0) {
        setFixedSize(client);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_shutDown && !m_document->mayClose()) {
        event->ignore(); // the user kept the score open: everything goes on, playback included
        return;
    }
    event->accept();
    shutdown();
    emit closed();
}

void MainWindow::shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    if (m_playback) {
        m_playback->stop();
    }
    if (m_palettes) {
        m_palettes->destroyPicker();
    }
}

} // namespace tonmiro::app
