#include "app/score_document.h"
#include "app/score_edit.h"
#include "notation/gbk_codec.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <deque>

using tonmiro::app::DocumentDialogs;
using tonmiro::app::ScoreDocument;
using tonmiro::app::ScoreEdit;

namespace {

QByteArray gbk(const char* utf8) {
    return tonmiro::gbk::encode(
        QString::fromUtf8(utf8).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

// Answers the dialogs from a script and logs what was asked: "save" and "open" for the file
// dialog in each mode, "ask" for the question. A path answer is relative to the test folder.
class ScriptedDialogs final : public DocumentDialogs {
public:
    QString folder;
    std::deque<QString> answers;
    QStringList log;

    std::optional<QString> askSavePath(const QString&) override { return path(QStringLiteral("save")); }
    std::optional<QString> askOpenPath(const QString&) override { return path(QStringLiteral("open")); }
    Answer askSaveChanges() override {
        log << QStringLiteral("ask");
        const QString a = next();
        return a == QLatin1String("yes")  ? Answer::Yes
               : a == QLatin1String("no") ? Answer::No
                                          : Answer::Cancel;
    }

private:
    QString next() {
        if (answers.empty()) {
            return QStringLiteral("cancel");
        }
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> path(const QString& mode) {
        log << mode;
        const QString a = next();
        if (a == QLatin1String("cancel")) {
            return std::nullopt;
        }
        return folder + QLatin1Char('/') + a;
    }
};

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestScoreDocument : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void scripts_data();
    void scripts();
    void failedWriteKeepsTheScoreAndTheOldFile_data();
    void failedWriteKeepsTheScoreAndTheOldFile();
    void openedScoreRoundTripsAndStartsAtTheTop_data();
    void openedScoreRoundTripsAndStartsAtTheTop();
    void mouseReleaseStoresTheSelection();

private:
    QTemporaryDir* m_dir = nullptr;
    QWidget* m_window = nullptr;
    ScoreEdit* m_edit = nullptr;
    QPushButton* m_save = nullptr;
    ScriptedDialogs* m_dialogs = nullptr;
    ScoreDocument* m_doc = nullptr;
};

void TestScoreDocument::init() {
    m_dir = new QTemporaryDir;
    m_window = new QWidget;
    m_window->setWindowTitle(QStringLiteral("Tonmiro"));
    m_edit = new ScoreEdit(m_window);
    m_save = new QPushButton(m_window);
    m_save->setEnabled(false);
    m_dialogs = new ScriptedDialogs;
    m_dialogs->folder = m_dir->path();
    m_doc = new ScoreDocument(*m_edit, *m_save, *m_window, *m_dialogs);
    writeFile(m_dir->filePath(QStringLiteral("old.txt")), gbk("⑴⑵⑶"));
}

void TestScoreDocument::cleanup() {
    delete m_doc;
    delete m_dialogs;
    delete m_window;
    delete m_dir;
}

void TestScoreDocument::scripts_data() {
    // Steps: "note" enters ⑤ at the caret, "new", "open", "save", "close" (the close guard).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QByteArray>("score");
    QTest::addColumn<QString>("file");       // a file of the test folder
    QTest::addColumn<QByteArray>("content"); // its bytes afterwards
    QTest::addColumn<QString>("caption");    // "" for "Tonmiro", else the file after the gap
    QTest::addColumn<bool>("modified");
    QTest::addColumn<bool>("mayClose"); // the result of the last "close" step

    const auto L = [](std::initializer_list<const char*> items) {
        QStringList l;
        for (const char* i : items) {
            l << QString::fromUtf8(i);
        }
        return l;
    };
    const QByteArray five = gbk("⑤");
    const QByteArray old = gbk("⑴⑵⑶");
    QTest::newRow("nothing typed closes without a question")
        << L({"close"}) << L({}) << L({}) << QByteArray() << "old.txt" << old << "" << false << true;
    QTest::newRow("first save asks for a path, caption stays")
        << L({"note", "save", "close"}) << L({"a.txt"}) << L({"save"}) << five << "a.txt" << five << ""
        << false << true;
    QTest::newRow("save after open writes straight to the file")
        << L({"open", "note", "save"}) << L({"old.txt"}) << L({"open"}) << five + old << "old.txt"
        << five + old << "old.txt" << false << true;
    QTest::newRow("new on a modified score, cancel: nothing at all")
        << L({"note", "new"}) << L({"cancel"}) << L({"ask"}) << five << "old.txt" << old << "" << true
        << true;
    QTest::newRow("new, no, cancel the dialog: the changes stay")
        << L({"note", "new"}) << L({"no", "cancel"}) << L({"ask", "save"}) << five << "old.txt" << old << ""
        << true << true;
    QTest::newRow("new, yes without a path: save's dialog, then new's")
        << L({"note", "new"}) << L({"yes", "kept.txt", "fresh.txt"}) << L({"ask", "save", "save"})
        << QByteArray() << "kept.txt" << five << "fresh.txt" << false << true;
    QTest::newRow("new over an existing file empties it at once")
        << L({"new"}) << L({"old.txt"}) << L({"save"}) << QByteArray() << "old.txt" << QByteArray()
        << "old.txt" << false << true;
    QTest::newRow("open on a modified score asks nothing")
        << L({"note", "open"}) << L({"old.txt"}) << L({"open"}) << old << "old.txt" << old << "old.txt"
        << false << true;
    QTest::newRow("open a missing file: empty, saved, not created")
        << L({"note", "open"}) << L({"missing.txt"}) << L({"open"}) << QByteArray() << "missing.txt"
        << QByteArray("<missing>") << "missing.txt" << false << true;
    QTest::newRow("close, yes, cancel the dialog: stays open and modified")
        << L({"note", "close"}) << L({"yes", "cancel"}) << L({"ask", "save"}) << five << "old.txt" << old
        << "" << true << false;
    QTest::newRow("close, yes, save: closes")
        << L({"note", "close"}) << L({"yes", "b.txt"}) << L({"ask", "save"}) << five << "b.txt" << five << ""
        << false << true;
    QTest::newRow("close, no: closes, nothing written")
        << L({"note", "close"}) << L({"no"}) << L({"ask"}) << five << "old.txt" << old << "" << true << true;
    QTest::newRow("close, cancel: stays") << L({"note", "close"}) << L({"cancel"}) << L({"ask"}) << five
                                          << "old.txt" << old << "" << true << false;
    QTest::newRow("cancelled open changes nothing") << L({"note", "open"}) << L({"cancel"}) << L({"open"})
                                                    << five << "old.txt" << old << "" << true << true;
}

void TestScoreDocument::scripts() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, asked);
    QFETCH(QByteArray, score);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, caption);
    QFETCH(bool, modified);
    QFETCH(bool, mayClose);
    m_dialogs->answers.assign(answers.begin(), answers.end());
    bool closeResult = true;
    for (const QString& step : steps) {
        if (step == QLatin1String("note")) {
            m_edit->replaceSelection(gbk("⑤"));
        } else if (step == QLatin1String("new")) {
            m_doc->newScore();
        } else if (step == QLatin1String("open")) {
            m_doc->open();
        } else if (step == QLatin1String("save")) {
            m_doc->save();
        } else if (step == QLatin1String("close")) {
            closeResult = m_doc->mayClose();
        }
    }
    QCOMPARE(m_dialogs->log, asked);
    QCOMPARE(m_edit->text(), score);
    QCOMPARE(fileBytes(m_dir->filePath(file)), content);
    const QString expectedCaption = caption.isEmpty()
                                        ? QStringLiteral("Tonmiro")
                                        : QStringLiteral("Tonmiro    ") + m_dir->filePath(caption);
    QCOMPARE(m_window->windowTitle(), expectedCaption);
    QCOMPARE(m_doc->isModified(), modified);
    QCOMPARE(m_save->isEnabled(), modified);
    QCOMPARE(closeResult, mayClose);
}

void TestScoreDocument::failedWriteKeepsTheScoreAndTheOldFile_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("injected");
    QTest::newRow("path is a folder") << "folder" << false;
    QTest::newRow("folder does not exist") << "nowhere/a.txt" << false;
    QTest::newRow("disk full") << "old.txt" << true;
}

void TestScoreDocument::failedWriteKeepsTheScoreAndTheOldFile() {
    QFETCH(QString, target);
    QFETCH(bool, injected);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    if (injected) {
        // Writes the first half, then fails as a full disk does; the real writer's temporary
        // file is what protects the old content, so fail through it.
        m_doc->setWriter([](const QString& path, const QByteArray& bytes) {
            QSaveFile f(path);
            if (!f.open(QIODevice::WriteOnly)) {
                return false;
            }
            f.write(bytes.left(bytes.size() / 2));
            f.cancelWriting();
            return f.commit();
        });
    }
    m_dialogs->answers = {QStringLiteral("old.txt")};
    m_doc->open();
    m_edit->replaceSelection(gbk("①②③④"));
    m_dialogs->answers = {};
    // Save to the failing target through a fresh document that has no path yet.
    ScoreDocument other(*m_edit, *m_save, *m_window, *m_dialogs);
    if (injected) {
        m_doc->save();
    } else {
        m_dialogs->answers = {target};
        other.save();
    }
    QVERIFY(m_save->isEnabled()); // still modified, silently
    QCOMPARE(fileBytes(m_dir->filePath(QStringLiteral("old.txt"))), gbk("⑴⑵⑶"));
    // The close guard keeps the window after Yes when the save fails again.
    m_dialogs->answers = {QStringLiteral("yes"), target};
    QVERIFY(!(injected ? m_doc : &other)->mayClose());
}

void TestScoreDocument::openedScoreRoundTripsAndStartsAtTheTop_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("score");
    QTest::newRow("tokens, bar lines, tempo digits")
        << gbk("120\r\n①②—\r\n③·—\r\n") << gbk("120\r\n①②—\r\n③·—\r\n");
    QTest::newRow("lone CR and LF, invalid GBK")
        << QByteArray("\r\xA2\xD9\n\x81\xFF\x80", 7) << QByteArray("\r\xA2\xD9\n\x81\xFF\x80", 7);
    QTest::newRow("cut at the first zero byte")
        << QByteArray("\xA2\xD9\0\xA2\xDA", 5) << QByteArray("\xA2\xD9");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestScoreDocument::openedScoreRoundTripsAndStartsAtTheTop() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, score);
    writeFile(m_dir->filePath(QStringLiteral("in.txt")), file);
    m_edit->setText(gbk("①②③④⑤"));
    m_edit->setSelectionLength(2);
    m_edit->setSelectionStart(6);
    m_dialogs->answers = {QStringLiteral("in.txt")};
    m_doc->open();
    QCOMPARE(m_edit->text(), score);
    QCOMPARE(m_edit->storedSelectionStart(), qsizetype(0));
    QCOMPARE(m_edit->selectionStart(), qsizetype(0));
    QVERIFY(!m_doc->isModified());
    m_edit->replaceSelection(m_edit->selectedText()); // an edit that changes nothing but the flag
    QVERIFY(m_doc->isModified());
    m_doc->save();
    QCOMPARE(fileBytes(m_dir->filePath(QStringLiteral("in.txt"))), score);
}

void TestScoreDocument::mouseReleaseStoresTheSelection() {
    m_window->resize(400, 300);
    m_edit->setGeometry(0, 0, 400, 300);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_edit->setText(gbk("①②③④⑤⑥"));
    const QRect third = m_edit->cursorRect([&] {
        QTextCursor c(m_edit->document());
        c.setPosition(3);
        return c;
    }());
    // Keyboard moves do not store anything.
    QTest::keyClick(m_edit, Qt::Key_End);
    QCOMPARE(m_edit->storedSelectionStart(), qsizetype(0));
    QTest::mouseClick(m_edit->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(m_edit->selectionStart(), qsizetype(6));
    QCOMPARE(m_edit->storedSelectionStart(), qsizetype(6));
    QCOMPARE(m_edit->storedSelectionLength(), qsizetype(0));
}

QTEST_MAIN(TestScoreDocument)
#include "test_score_document.moc"
