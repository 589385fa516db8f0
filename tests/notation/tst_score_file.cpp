#include "notation/score_file.h"
#include "tests/notation/notation_tests.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace tonmiro::notation;

namespace {

QByteArray rawContent(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return "<unreadable>";
    }
    return f.readAll();
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray randomWithoutNul(qsizetype size, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out) {
        c = static_cast<char>(1 + rng.bounded(255));
    }
    return out;
}

} // namespace

class ScoreFileTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString pathOf(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void exactBytesRoundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("tokens and bar lines") << QByteArray("120\r\n\xA2\xD9\xA1\xAA\r\n\xA2\xDA");
        QTest::newRow("lone CR, lone LF") << QByteArray("a\rb\nc\n\r");
        QTest::newRow("0x80 and 0xFF") << QByteArray("\x80\xFF\x80");
        QTest::newRow("invalid GBK") << QByteArray("\xA2\x0D\x0A\xA2\xFF\x81");
        QTest::newRow("no trailing break") << QByteArray("\xA2\xD9");
        QTest::newRow("1 MB random") << randomWithoutNul(1 << 20, 1);
    }

    void exactBytesRoundTrip() {
        QFETCH(QByteArray, bytes);
        const QString path = pathOf(QStringLiteral("round.txt"));
        QVERIFY(writeScoreFile(path, bytes));
        QCOMPARE(rawContent(path), bytes); // no header, no byte order mark, no terminator
        QCOMPARE(readScoreFile(path), bytes);
    }

    void replacingAFileLeavesNoOldTail() {
        const QString path = pathOf(QStringLiteral("replace.txt"));
        QVERIFY(writeScoreFile(path, QByteArray(5000, 'x')));
        QVERIFY(writeScoreFile(path, "\xA2\xD9"));
        QCOMPARE(rawContent(path), QByteArray("\xA2\xD9"));
        QVERIFY(writeScoreFile(path, QByteArray()));
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void readStopsAtTheFirstZeroByte_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("middle") << QByteArray("\xA2\xD9\0\xA2\xDA", 5) << QByteArray("\xA2\xD9");
        QTest::newRow("first byte") << QByteArray("\0abc", 4) << QByteArray();
        QTest::newRow("last byte") << QByteArray("abc\0", 4) << QByteArray("abc");
        QTest::newRow("several") << QByteArray("a\0b\0c", 5) << QByteArray("a");
        QTest::newRow("inside a pair") << QByteArray("\xA2\0\xD9", 3) << QByteArray("\xA2");
        QTest::newRow("after 1 MB") << (randomWithoutNul(1 << 20, 2) + QByteArray(1, '\0') + "tail")
                                    << randomWithoutNul(1 << 20, 2);
    }

    void readStopsAtTheFirstZeroByte() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        const QString path = pathOf(QStringLiteral("zero.txt"));
        writeRaw(path, content);
        QCOMPARE(readScoreFile(path), expected);
    }

    void unreadableReadsAsEmpty_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << pathOf(QStringLiteral("missing.txt"));
        QTest::newRow("folder") << m_dir.path();
        QTest::newRow("empty path") << QString();
        QTest::newRow("inside a missing folder") << pathOf(QStringLiteral("no/such.txt"));
    }

    void unreadableReadsAsEmpty() {
        QFETCH(QString, path);
        QCOMPARE(readScoreFile(path), QByteArray());
    }

    void failedWritesReportFalse_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty path") << QString();
        QTest::newRow("folder") << m_dir.path();
        QTest::newRow("missing folder") << pathOf(QStringLiteral("no/such.txt"));
        QTest::newRow("below a file") << pathOf(QStringLiteral("plain.txt/score.txt"));
    }

    void failedWritesReportFalse() {
        QFETCH(QString, path);
        writeRaw(pathOf(QStringLiteral("plain.txt")), "plain");
        QVERIFY(!writeScoreFile(path, "\xA2\xD9"));
        QCOMPARE(rawContent(pathOf(QStringLiteral("plain.txt"))), QByteArray("plain"));
        QVERIFY(QFileInfo(m_dir.path()).isDir());
    }

    void writeIntoReadOnlyFolderFails() {
#ifdef Q_OS_UNIX
        if (geteuid() == 0) {
            QSKIP("permissions do not bind the superuser");
        }
#endif
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("score.txt"));
        writeRaw(path, "old");
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const bool written = writeScoreFile(path, "new");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!written);
        QCOMPARE(rawContent(path), QByteArray("old"));
    }

    // A write that runs out of room part way (here: the file size limit of the process) must
    // leave the old file whole and no temporary file behind.
    void failedWriteLeavesTheOldFileUntouched() {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("score.txt"));
        const QByteArray old = randomWithoutNul(2000, 3);
        writeRaw(path, old);

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = rlim_t{64} * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const bool written = writeScoreFile(path, randomWithoutNul(1 << 20, 4));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!written);
        QCOMPARE(rawContent(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"score.txt"});
#else
        QSKIP("needs a file size limit");
#endif
    }
};

int tonmiro::notation::tests::runScoreFileTests(int argc, char** argv) {
    ScoreFileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_score_file.moc"
