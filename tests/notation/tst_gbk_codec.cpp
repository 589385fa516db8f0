#include "notation/gbk_codec.h"
#include "tests/notation/notation_tests.h"

#include <QRandomGenerator>
#include <QTest>

#include <thread>
#include <vector>

using namespace tonmiro;

namespace {

QByteArray bytesOf(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

QString stringOf(char32_t c) {
    return QString::fromUcs4(&c, 1);
}

// Random byte strings that stress the decoder: stray CR and LF, CR LF pairs, lead bytes with good,
// bad and missing trail bytes, 0x80 and 0xFF, plain ASCII and a few whole characters.
QByteArray randomScoreBytes(QRandomGenerator& rng) {
    QByteArray out;
    const int pieces = static_cast<int>(rng.bounded(40));
    for (int i = 0; i < pieces; ++i) {
        switch (rng.bounded(9)) {
        case 0:
            out.append('\r');
            break;
        case 1:
            out.append('\n');
            break;
        case 2:
            out.append("\r\n");
            break;
        case 3: // a lead byte, followed by anything or nothing
            out.append(static_cast<char>(0x81 + rng.bounded(0x7E)));
            break;
        case 4: // any byte but NUL
            out.append(static_cast<char>(1 + rng.bounded(255)));
            break;
        case 5:
            out.append(static_cast<char>(rng.bounded(2) ? 0x80 : 0xFF));
            break;
        case 6:
            out.append(static_cast<char>(0x20 + rng.bounded(0x5F)));
            break;
        case 7: // a well-formed pitch token
            out.append('\xA2');
            out.append(static_cast<char>(0xB1 + rng.bounded(0x2F)));
            break;
        default: // a trail-range byte on its own
            out.append(static_cast<char>(0x40 + rng.bounded(0xBF)));
            break;
        }
    }
    return out;
}

} // namespace

class GbkCodecTest : public QObject {
    Q_OBJECT

private slots:
    // Runs first, so the tables are built while several threads ask for them at once.
    void concurrentFirstUse() {
        QByteArray input;
        for (int b = 0; b < 256; ++b) {
            input.append(static_cast<char>(b));
            input.append("\xA2\xD9\r\n\r");
        }
        constexpr int kThreads = 4;
        std::vector<QByteArray> results(kThreads);
        std::vector<qsizetype> lengths(kThreads);
        {
            std::vector<std::jthread> threads;
            threads.reserve(kThreads);
            for (int i = 0; i < kThreads; ++i) {
                threads.emplace_back([&, i] {
                    const QString text = gbk::decode(input);
                    lengths[static_cast<size_t>(i)] = gbk::encodedLength(text);
                    results[static_cast<size_t>(i)] = gbk::encode(text);
                });
            }
        }
        for (int i = 0; i < kThreads; ++i) {
            QCOMPARE(results[static_cast<size_t>(i)], input);
            QCOMPARE(lengths[static_cast<size_t>(i)], input.size());
        }
    }

    void everySingleByteRoundTrips() {
        for (int b = 0; b < 256; ++b) {
            const QByteArray bytes(1, static_cast<char>(b));
            const QString text = gbk::decode(bytes);
            QCOMPARE(text.toUcs4().size(), 1);
            QCOMPARE(gbk::encode(text), bytes);
            QCOMPARE(gbk::encodedLength(text), 1);
        }
    }

    void everyBytePairRoundTrips() {
        int characters = 0; // pairs that decode to one character rather than escapes
        for (int lead = 0; lead < 256; ++lead) {
            for (int trail = 0; trail < 256; ++trail) {
                const QByteArray bytes = bytesOf({lead, trail});
                const QString text = gbk::decode(bytes);
                if (gbk::encode(text) != bytes) {
                    QFAIL(qPrintable(QStringLiteral("pair %1 %2 does not round-trip")
                                         .arg(lead, 2, 16, QChar(u'0'))
                                         .arg(trail, 2, 16, QChar(u'0'))));
                }
                QCOMPARE(gbk::encodedLength(text), 2);
                if (lead >= 0x81 && text.size() == 1) {
                    ++characters;
                }
            }
        }
        // Code page 936 maps all 23,940 pairs of a lead and a trail byte (user-defined areas to
        // private use); escaping everything would round-trip too, so make sure the mapping is used.
        QVERIFY2(characters == 23940, qPrintable(QString::number(characters)));
    }

    void randomStringsRoundTrip() {
        QRandomGenerator rng(936);
        for (int i = 0; i < 5000; ++i) {
            const QByteArray bytes = randomScoreBytes(rng);
            const QString text = gbk::decode(bytes);
            if (gbk::encode(text) != bytes) {
                QFAIL(qPrintable("no round trip for " + bytes.toHex(' ')));
            }
            QCOMPARE(gbk::encodedLength(text), bytes.size());
        }
    }

    void decodedTextHasNoBareLineBreakCharacters() {
        // A document would turn these into structure; only CR LF may decode to '\n'.
        QRandomGenerator rng(2028);
        for (int i = 0; i < 2000; ++i) {
            const QByteArray bytes = randomScoreBytes(rng);
            const QString text = gbk::decode(bytes);
            QCOMPARE(text.count(u'\n'), bytes.count("\r\n"));
            QVERIFY(!text.contains(u'\r'));
            QVERIFY(!text.contains(QChar(0x2028)));
            QVERIFY(!text.contains(QChar(0x2029)));
        }
    }

    void knownCharacters_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint>("codePoint");

        struct Row {
            const char* name;
            int firstTrail;
            char32_t firstCodePoint;
        };
        const Row registers[] = {{"super-low", 0xBB, 0x2492},
                                 {"low", 0xB1, 0x2488},
                                 {"middle", 0xD9, 0x2460},
                                 {"high", 0xC5, 0x2474},
                                 {"super-high", 0xCF, 0x247E}};
        for (const Row& r : registers) {
            for (int degree = 1; degree <= 7; ++degree) {
                QTest::addRow("%s %d", r.name, degree)
                    << bytesOf({0xA2, r.firstTrail + degree - 1}) << uint(r.firstCodePoint + degree - 1);
            }
        }
        QTest::newRow("rest") << bytesOf({0xA3, 0xB0}) << uint(0xFF10);
        QTest::newRow("dash") << bytesOf({0xA1, 0xAA}) << uint(0x2014);
        QTest::newRow("dot") << bytesOf({0xA1, 0xA4}) << uint(0x00B7);
        QTest::newRow("ideographic space") << bytesOf({0xA1, 0xA1}) << uint(0x3000);
        QTest::newRow("full-width one") << bytesOf({0xA3, 0xB1}) << uint(0xFF11);
        QTest::newRow("hanzi zhong") << bytesOf({0xD6, 0xD0}) << uint(0x4E2D);
        QTest::newRow("euro 0x80") << bytesOf({0x80}) << uint(0x20AC);
        QTest::newRow("pinyin e acute") << bytesOf({0xA8, 0xA6}) << uint(0x00E9);
        QTest::newRow("tab") << bytesOf({0x09}) << uint(0x09);
        QTest::newRow("digit") << bytesOf({0x31}) << uint(0x31);
    }

    void knownCharacters() {
        QFETCH(QByteArray, bytes);
        QFETCH(uint, codePoint);
        const QString expected = stringOf(codePoint);
        QCOMPARE(gbk::decode(bytes), expected);
        QCOMPARE(gbk::encode(expected), bytes);
        QCOMPARE(gbk::encodedLength(char32_t(codePoint)), bytes.size());
    }

    void lineBreaksAndEscapes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<uint>>("codePoints");
        const uint cr = gbk::escapeFor('\r');
        const uint lf = gbk::escapeFor('\n');
        QTest::newRow("CR LF") << QByteArray("\r\n") << QList<uint>{'\n'};
        QTest::newRow("lone CR") << QByteArray("\r") << QList<uint>{cr};
        QTest::newRow("lone LF") << QByteArray("\n") << QList<uint>{lf};
        QTest::newRow("LF CR") << QByteArray("\n\r") << QList<uint>{lf, cr};
        QTest::newRow("CR CR LF") << QByteArray("\r\r\n") << QList<uint>{cr, '\n'};
        QTest::newRow("CR LF LF") << QByteArray("\r\n\n") << QList<uint>{'\n', lf};
        QTest::newRow("truncated lead at end") << bytesOf({0x31, 0xA2}) << QList<uint>{'1', 0xF00A2};
        QTest::newRow("lead before CR LF") << bytesOf({0xA2, 0x0D, 0x0A}) << QList<uint>{0xF00A2, '\n'};
        QTest::newRow("lead before ASCII not a trail") << bytesOf({0xA2, 0x31}) << QList<uint>{0xF00A2, '1'};
        QTest::newRow("trail 0x7F is not a trail") << bytesOf({0x81, 0x7F}) << QList<uint>{0xF0081, 0x7F};
        QTest::newRow("lead before 0xFF, which is no trail")
            << bytesOf({0xA2, 0xFF}) << QList<uint>{0xF00A2, 0xF8F5};
        QTest::newRow("lead, lone LF, token")
            << bytesOf({0xA2, 0x0A, 0xA2, 0xD9}) << QList<uint>{0xF00A2, 0xF000A, 0x2460};
        QTest::newRow("NUL kept") << bytesOf({0x00}) << QList<uint>{0};
    }

    void lineBreaksAndEscapes() {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<uint>, codePoints);
        QList<uint> decoded;
        for (char32_t c : gbk::decode(bytes).toUcs4()) {
            decoded.append(c);
        }
        QCOMPARE(decoded, codePoints);
        QCOMPARE(gbk::encode(gbk::decode(bytes)), bytes);
    }

    void escapeCharacters() {
        for (int b = 0; b < 256; ++b) {
            const char32_t e = gbk::escapeFor(static_cast<unsigned char>(b));
            QCOMPARE(e, char32_t(0xF0000 + b));
            QCOMPARE(gbk::byteOfEscape(e), b);
            QCOMPARE(gbk::encode(stringOf(e)), QByteArray(1, static_cast<char>(b)));
            QCOMPARE(gbk::encodedLength(e), 1);
        }
        QCOMPARE(gbk::byteOfEscape(0xEFFFF), -1);
        QCOMPARE(gbk::byteOfEscape(0xF0100), -1);
        QCOMPARE(gbk::byteOfEscape(U'A'), -1);
    }

    void typedCharacters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("emoji") << stringOf(0x1F600) << QByteArray("?");
        QTest::newRow("a umlaut") << stringOf(0xE4) << QByteArray("?");
        QTest::newRow("replacement character") << stringOf(0xFFFD) << QByteArray("?");
        QTest::newRow("plane 15 beyond the escapes") << stringOf(0xF0100) << QByteArray("?");
        QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) << QByteArray("?");
        QTest::newRow("lone low surrogate") << QString(QChar(0xDE00)) << QByteArray("?");
        QTest::newRow("low before high") << (QString(QChar(0xDE00)) + QChar(0xD83D)) << QByteArray("??");
        QTest::newRow("line feed") << QStringLiteral("\n") << QByteArray("\r\n");
        QTest::newRow("line separator") << stringOf(0x2028) << QByteArray("\r\n");
        QTest::newRow("paragraph separator") << stringOf(0x2029) << QByteArray("\r\n");
        QTest::newRow("mixed") << (QStringLiteral("①a") + stringOf(0x1F600) + QStringLiteral("\n⒂"))
                               << QByteArray("\xA2\xD9"
                                             "a?\r\n\xA2\xD3");
    }

    void typedCharacters() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(gbk::encode(text), bytes);
        QCOMPARE(gbk::encodedLength(text), bytes.size());
    }

    void encodedLengthMatchesEncodeForEveryBmpCharacter() {
        for (char32_t c = 0; c < 0x10000; ++c) {
            const QString text(QChar(static_cast<char16_t>(c)));
            const qsizetype expected = gbk::encode(text).size();
            if (gbk::encodedLength(c) != expected || gbk::encodedLength(text) != expected) {
                QFAIL(qPrintable(QStringLiteral("U+%1").arg(uint(c), 4, 16, QChar(u'0'))));
            }
        }
    }

    void encodedLengthMatchesEncodeForRandomText() {
        QRandomGenerator rng(17);
        for (int i = 0; i < 3000; ++i) {
            QString text;
            const int n = static_cast<int>(rng.bounded(30));
            for (int k = 0; k < n; ++k) {
                switch (rng.bounded(5)) {
                case 0: // any UTF-16 unit, lone surrogates included
                    text.append(QChar(static_cast<char16_t>(rng.bounded(0x10000))));
                    break;
                case 1:
                    text.append(stringOf(gbk::escapeFor(static_cast<unsigned char>(rng.bounded(256)))));
                    break;
                case 2:
                    text.append(stringOf(0x10000 + rng.bounded(0x100000)));
                    break;
                case 3:
                    text.append(QChar(u'\n'));
                    break;
                default:
                    text.append(QChar(static_cast<char16_t>(0x2460 + rng.bounded(0x40))));
                    break;
                }
            }
            QCOMPARE(gbk::encodedLength(text), gbk::encode(text).size());
        }
    }
};

int tonmiro::notation::tests::runGbkCodecTests(int argc, char** argv) {
    GbkCodecTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gbk_codec.moc"
