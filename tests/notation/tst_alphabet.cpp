#include "notation/alphabet.h"
#include "notation/gbk_codec.h"
#include "tests/notation/notation_tests.h"

#include <QTest>

using namespace tonmiro;
using notation::Register;

namespace {

// The pitch glyphs of each register, degrees 1 to 7, as the user sees them.
struct RegisterRow {
    Register reg;
    const char* name;
    const char16_t* glyphs;
    int firstSample; // 0: no samples
    int samples;     // how many degrees have one
};

const RegisterRow kRegisters[] = {
    {Register::SuperLow, "super-low", u"⒒⒓⒔⒕⒖⒗⒘", 0, 0},    {Register::Low, "low", u"⒈⒉⒊⒋⒌⒍⒎", 1, 7},
    {Register::Middle, "middle", u"①②③④⑤⑥⑦", 8, 7},         {Register::High, "high", u"⑴⑵⑶⑷⑸⑹⑺", 15, 7},
    {Register::SuperHigh, "super-high", u"⑾⑿⒀⒁⒂⒃⒄", 22, 5},
};

QByteArray gbkOf(QStringView text) {
    return gbk::encode(text);
}

} // namespace

class AlphabetTest : public QObject {
    Q_OBJECT

private slots:
    void pitchTokens_data() {
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("degree");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("sample");
        for (const RegisterRow& row : kRegisters) {
            for (int degree = 1; degree <= 7; ++degree) {
                const QStringView glyph = QStringView(row.glyphs).mid(degree - 1, 1);
                const int sample = degree <= row.samples ? row.firstSample + degree - 1 : 0;
                QTest::addRow("%s %d", row.name, degree)
                    << static_cast<int>(row.reg) << degree << gbkOf(glyph) << sample;
            }
        }
    }

    void pitchTokens() {
        QFETCH(int, reg);
        QFETCH(int, degree);
        QFETCH(QByteArray, bytes);
        QFETCH(int, sample);
        QCOMPARE(bytes.size(), 2);
        QCOMPARE(notation::pitchToken(static_cast<Register>(reg), degree), bytes);
        const notation::TokenInfo info = notation::lookupToken(bytes);
        QCOMPARE(info.sample, sample);
        // A pitch token without a sample (super-low, ⒃, ⒄) takes no time either.
        QCOMPARE(info.takesTime, sample != 0);
        QCOMPARE(notation::sampleOf(bytes), sample);
        if (sample != 0) {
            QCOMPARE(notation::tokenOfSample(sample), bytes);
        }
    }

    void otherPieces_data() {
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<bool>("takesTime");
        QTest::newRow("rest ０") << gbkOf(u"０") << true;
        QTest::newRow("dash —") << gbkOf(u"—") << true;
        QTest::newRow("dot ·") << gbkOf(u"·") << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("half a token") << QByteArray("\xA2") << false;
        QTest::newRow("token and more") << QByteArray("\xA2\xD9\r") << false;
        QTest::newRow("bar line") << QByteArray("\r\n") << false;
        QTest::newRow("ASCII digits") << QByteArray("12") << false;
        QTest::newRow("full-width one １") << gbkOf(u"１") << false;
        QTest::newRow("ideographic space") << gbkOf(u"\u3000") << false;
        QTest::newRow("⑧ after ⑦") << gbkOf(u"⑧") << false;
        QTest::newRow("⑻ after ⑺") << gbkOf(u"⑻") << false;
        QTest::newRow("⒅ after ⒄") << gbkOf(u"⒅") << false;
        QTest::newRow("⒙ after ⒘") << gbkOf(u"⒙") << false;
        QTest::newRow("byte before ⒈") << QByteArray("\xA2\xB0") << false;
        QTest::newRow("pitch trail, other lead") << QByteArray("\xA3\xD9") << false;
        QTest::newRow("hanzi") << gbkOf(u"中") << false;
    }

    void otherPieces() {
        QFETCH(QByteArray, piece);
        QFETCH(bool, takesTime);
        const notation::TokenInfo info = notation::lookupToken(piece);
        QCOMPARE(info.sample, 0);
        QCOMPARE(info.takesTime, takesTime);
    }

    void marksHaveTheirBytes() {
        QCOMPARE(QByteArray(notation::kRest), QByteArray("\xA3\xB0"));
        QCOMPARE(QByteArray(notation::kDash), QByteArray("\xA1\xAA"));
        QCOMPARE(QByteArray(notation::kDot), QByteArray("\xA1\xA4"));
        QCOMPARE(QByteArray(notation::kBarLine), QByteArray("\r\n"));
    }

    void outOfRangeArguments() {
        QVERIFY(notation::pitchToken(Register::Middle, 0).isEmpty());
        QVERIFY(notation::pitchToken(Register::Middle, 8).isEmpty());
        QVERIFY(notation::pitchToken(static_cast<Register>(5), 1).isEmpty());
        QVERIFY(notation::tokenOfSample(0).isEmpty());
        QVERIFY(notation::tokenOfSample(27).isEmpty());
        QVERIFY(notation::tokenOfSample(-1).isEmpty());
    }
};

int tonmiro::notation::tests::runAlphabetTests(int argc, char** argv) {
    AlphabetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alphabet.moc"
