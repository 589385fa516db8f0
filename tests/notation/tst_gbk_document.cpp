#include "notation/gbk_codec.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// The edit box holds the decoded score in a QTextDocument and encodes its blocks, joined by line
// breaks, when the score is read. These tests check that the document keeps decoded text exactly,
// whichever way the text goes in.
class GbkDocumentTest : public QObject {
    Q_OBJECT

    static QString blockText(const QTextDocument& document) {
        QStringList lines;
        for (QTextBlock b = document.begin(); b != document.end(); b = b.next()) {
            lines.append(b.text());
        }
        return lines.join(u'\n');
    }

    static void checkThroughDocument(const QByteArray& bytes) {
        const QString text = tonmiro::gbk::decode(bytes);

        QTextDocument plain;
        plain.setPlainText(text);
        QCOMPARE(tonmiro::gbk::encode(blockText(plain)), bytes);

        QTextDocument typed;
        QTextCursor cursor(&typed);
        cursor.insertText(text);
        QCOMPARE(tonmiro::gbk::encode(blockText(typed)), bytes);
    }

private slots:
    void everyByteAndPairSurvivesTheDocument_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray singles;
        QByteArray singlesWithBreaks;
        for (int b = 0; b < 256; ++b) {
            singles.append(static_cast<char>(b));
            singlesWithBreaks.append(static_cast<char>(b));
            singlesWithBreaks.append("\r\n");
        }
        QByteArray pairs;
        QByteArray pairsWithBreaks;
        for (int lead = 0x80; lead < 256; ++lead) {
            for (int trail = 0; trail < 256; ++trail) {
                pairs.append(static_cast<char>(lead));
                pairs.append(static_cast<char>(trail));
                pairsWithBreaks.append(static_cast<char>(lead));
                pairsWithBreaks.append(static_cast<char>(trail));
                pairsWithBreaks.append("\r\n");
            }
        }
        QTest::newRow("all bytes") << singles;
        QTest::newRow("all bytes, one a line") << singlesWithBreaks;
        QTest::newRow("all pairs") << pairs;
        QTest::newRow("all pairs, one a line") << pairsWithBreaks;
        QTest::newRow("CR and LF runs") << QByteArray("\r\r\n\n\r\n\r\r\n\r\n\n\n\r");
        QTest::newRow("break at both ends") << QByteArray("\r\n\xA2\xD9\r\n");
    }

    void everyByteAndPairSurvivesTheDocument() {
        QFETCH(QByteArray, bytes);
        checkThroughDocument(bytes);
    }

    void randomBytesSurviveTheDocument() {
        QRandomGenerator rng(2029);
        const char pieces[] = {'\r',   '\n',   '\x0B', '\x0C', '\x1C', '\x1D', '\x1E', '\x7F',
                               '\x80', '\xA1', '\xA2', '\xD9', '\xFF', '\t',   ' ',    'a'};
        for (int i = 0; i < 500; ++i) {
            QByteArray bytes;
            const int n = static_cast<int>(rng.bounded(60));
            for (int k = 0; k < n; ++k) {
                bytes.append(rng.bounded(3) == 0 ? static_cast<char>(rng.bounded(256))
                                                 : pieces[rng.bounded(int(sizeof pieces))]);
            }
            checkThroughDocument(bytes);
            if (QTest::currentTestFailed()) {
                qWarning() << "bytes:" << bytes.toHex(' ');
                return;
            }
        }
    }
};

QTEST_MAIN(GbkDocumentTest)

#include "tst_gbk_document.moc"
