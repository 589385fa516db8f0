#pragma once

#include "notation/gbk_codec.h"

#include <QByteArray>
#include <QString>

namespace tonmiro::bench {

// One bar of the score as the user writes it, in GBK, without its line break.
inline QByteArray bar() {
    return gbk::encode(QString::fromUtf8("①②③④⑤⑥⑦—"));
}

// Whole lines of one bar each, at least minBytes long.
inline QByteArray linesScore(qsizetype minBytes) {
    const QByteArray line = bar() + "\r\n";
    QByteArray score;
    score.reserve(minBytes + line.size());
    while (score.size() < minBytes) {
        score += line;
    }
    return score;
}

// Bars without a single line break, exactly bytes long (bytes is even, every token two bytes).
inline QByteArray singleLineScore(qsizetype bytes) {
    const QByteArray one = bar();
    QByteArray score;
    score.reserve(bytes + one.size());
    while (score.size() < bytes) {
        score += one;
    }
    score.truncate(bytes);
    return score;
}

} // namespace tonmiro::bench
