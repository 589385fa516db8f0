#include "app/score_edit.h"

#include "notation/gbk_codec.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace tonmiro::app {

namespace {

constexpr qsizetype kLineBreakBytes = 2; // CR LF between two blocks

// The code point starting at index i of s, and how many UTF-16 units it takes.
char32_t codePointAt(const QString& s, int i, int* units) {
    const QChar c = s.at(i);
    if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(c, s.at(i + 1));
    }
    *units = 1;
    return c.unicode();
}

// Keys that keep their editing effect although typed characters are thrown away.
bool isEditingKey(int key) {
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

} // namespace

ScoreEdit::ScoreEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("编辑框1"));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setUndoRedoEnabled(true);
    // Scores are left-to-right: saying so spares Qt a scan of the whole line for its direction on
    // every cursor move, which is most of a playback step in a long line.
    QTextOption option = document()->defaultTextOption();
    option.setTextDirection(Qt::LeftToRight);
    document()->setDefaultTextOption(option);

    QFont f = font();
    f.setPixelSize(16);
    f.setWeight(QFont::Normal);
    setFont(f);

    // Black on white, and the selection drawn the same whether or not the box has the focus,
    // so the playback highlight shows while the user works elsewhere.
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Base, Qt::white);
        pal.setColor(group, QPalette::Text, Qt::black);
    }
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);

    m_blockBytes.assign(1, 0);
    connect(document(), &QTextDocument::contentsChange, this, &ScoreEdit::onContentsChange);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_replacingAll) {
            emit scoreChanged();
        }
    });
}

// The raw text keeps every character as typed (toPlainText() would turn a no-break space into a
// space); block breaks come as U+2029, which encodes as CR LF.
QByteArray ScoreEdit::text() const {
    return gbk::encode(document()->toRawText());
}

void ScoreEdit::setText(const QByteArray& bytes) {
    // The document is built line by line; count the lines' bytes once at the end instead.
    m_replacingAll = true;
    setPlainText(gbk::decode(bytes));
    m_replacingAll = false;
    rebuildAll();
    emit scoreChanged(); // once, now that every byte position is known again
}

qsizetype ScoreEdit::textLength() const {
    rebuildPrefix();
    return m_totalBytes;
}

QByteArray ScoreEdit::selectedText() const {
    const QTextCursor c = textCursor();
    if (!c.hasSelection()) {
        return {};
    }
    // selectedText() marks block breaks with U+2029, which encodes as CR LF.
    return gbk::encode(c.selectedText());
}

qsizetype ScoreEdit::selectionStart() const {
    return bytePosition(textCursor().selectionStart());
}

qsizetype ScoreEdit::selectionEnd() const {
    return bytePosition(textCursor().selectionEnd());
}

void ScoreEdit::setSelectionStart(qsizetype start) {
    m_storedStart = std::max<qsizetype>(start, 0);
    reselect();
}

void ScoreEdit::setSelectionLength(qsizetype length) {
    m_storedLength = std::max<qsizetype>(length, 0);
    reselect();
}

void ScoreEdit::reselect() {
    const qsizetype total = textLength();
    const qsizetype from = std::min(m_storedStart, total);
    const qsizetype to = std::min(m_storedStart + m_storedLength, total);
    // A boundary inside a two-byte character widens the selection to whole characters: the
    // start rounds down, the end rounds up, so stepping on by two bytes always moves forward.
    const int fromChar = charPosition(from);
    int toChar = charPosition(to);
    if (bytePosition(toChar) < to) {
        toChar = charPosition(to + 1);
    }
    QTextCursor c = textCursor();
    c.setPosition(fromChar);
    c.setPosition(std::max(toChar, fromChar), QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}

void ScoreEdit::replaceSelection(const QByteArray& bytes) {
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.insertText(gbk::decode(bytes));
    c.endEditBlock();
    setTextCursor(c);
    ensureCursorVisible();
}

void ScoreEdit::onContentsChange(int position, int removed, int added) {
    Q_UNUSED(removed);
    m_prefixDirty = true;
    m_cacheBlock = -1;
    if (m_replacingAll) {
        return;
    }
    const QTextDocument* doc = document();
    const int newCount = doc->blockCount();
    const int delta = newCount - int(m_blockBytes.size());
    const QTextBlock first = doc->findBlock(position);
    const QTextBlock last = doc->findBlock(position + added);
    const int b0 = first.isValid() ? first.blockNumber() : -1;
    const int b1 = last.isValid() ? last.blockNumber() : newCount - 1;
    const int oldLast = b1 - delta;
    if (b0 < 0 || b1 < b0 || oldLast < b0 - 1 || oldLast >= int(m_blockBytes.size())) {
        rebuildAll();
        return;
    }
    // Old blocks b0..oldLast became new blocks b0..b1.
    m_blockBytes.erase(m_blockBytes.begin() + b0, m_blockBytes.begin() + oldLast + 1);
    std::vector<qsizetype> fresh;
    fresh.reserve(b1 - b0 + 1);
    for (QTextBlock b = first; b.isValid() && b.blockNumber() <= b1; b = b.next()) {
        fresh.push_back(gbk::encodedLength(b.text()));
    }
    m_blockBytes.insert(m_blockBytes.begin() + b0, fresh.begin(), fresh.end());
    if (int(m_blockBytes.size()) != newCount) {
        rebuildAll();
    }
}

void ScoreEdit::rebuildAll() {
    m_blockBytes.clear();
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        m_blockBytes.push_back(gbk::encodedLength(b.text()));
    }
    m_prefixDirty = true;
    m_cacheBlock = -1;
}

void ScoreEdit::rebuildPrefix() const {
    if (!m_prefixDirty) {
        return;
    }
    m_blockStartBytes.resize(m_blockBytes.size());
    qsizetype at = 0;
    for (size_t i = 0; i < m_blockBytes.size(); ++i) {
        m_blockStartBytes[i] = at;
        at += m_blockBytes[i] + kLineBreakBytes;
    }
    m_totalBytes = m_blockBytes.empty() ? 0 : at - kLineBreakBytes;
    m_prefixDirty = false;
}

int ScoreEdit::charPosition(qsizetype bytePos) const {
    rebuildPrefix();
    if (bytePos <= 0 || m_blockBytes.empty()) {
        return 0;
    }
    if (bytePos >= m_totalBytes) {
        return document()->characterCount() - 1;
    }
    // The last block starting at or before bytePos.
    const auto it = std::upper_bound(m_blockStartBytes.begin(), m_blockStartBytes.end(), bytePos);
    const int blockIndex = int(it - m_blockStartBytes.begin()) - 1;
    const QTextBlock block = document()->findBlockByNumber(blockIndex);
    const qsizetype inBlock = bytePos - m_blockStartBytes[blockIndex];
    if (inBlock >= m_blockBytes[blockIndex]) {
        // At the line break, or between its CR and its LF: the end of the line.
        return block.position() + block.length() - 1;
    }
    return block.position() + charInBlock(block, blockIndex, inBlock);
}

qsizetype ScoreEdit::bytePosition(int charPos) const {
    rebuildPrefix();
    const QTextBlock block = document()->findBlock(std::max(charPos, 0));
    if (!block.isValid()) {
        return m_totalBytes;
    }
    const int blockIndex = block.blockNumber();
    const int inBlock = std::min(charPos - block.position(), block.length() - 1);
    return m_blockStartBytes[blockIndex] + byteInBlock(block, blockIndex, inBlock);
}

namespace {

// Reads the characters of one line: through the document for short scans near the cached point,
// or from a copy of the line's text for long ones, so a step through a long line costs O(step).
class LineReader {
public:
    LineReader(const QTextDocument* doc, const QTextBlock& block, int expected)
        : m_doc(doc), m_base(block.position()), m_size(block.length() - 1) {
        if (expected > 64) {
            m_text = block.text();
            m_copied = true;
        }
    }
    int size() const { return m_size; }
    // The code point at character offset i of the line, and its width in UTF-16 units.
    char32_t at(int i, int* units) const {
        if (m_copied) {
            return codePointAt(m_text, i, units);
        }
        const QChar c = m_doc->characterAt(m_base + i);
        if (c.isHighSurrogate() && i + 1 < m_size) {
            const QChar low = m_doc->characterAt(m_base + i + 1);
            if (low.isLowSurrogate()) {
                *units = 2;
                return QChar::surrogateToUcs4(c, low);
            }
        }
        *units = 1;
        return c.unicode();
    }

private:
    const QTextDocument* m_doc;
    int m_base;
    int m_size;
    QString m_text;
    bool m_copied = false;
};

} // namespace

int ScoreEdit::charInBlock(const QTextBlock& block, int blockIndex, qsizetype bytes) const {
    // Scan forward from the cached point when it lies before the target in the same line,
    // else from the line's start. A boundary inside a character rounds down to its start.
    int ch = 0;
    qsizetype at = 0;
    if (m_cacheBlock == blockIndex && m_cacheByte <= bytes) {
        ch = m_cacheChar;
        at = m_cacheByte;
    }
    const LineReader line(document(), block, int(bytes - at));
    while (ch < line.size()) {
        int units = 1;
        const int len = gbk::encodedLength(line.at(ch, &units));
        if (at + len > bytes) {
            break;
        }
        at += len;
        ch += units;
    }
    m_cacheBlock = blockIndex;
    m_cacheChar = ch;
    m_cacheByte = at;
    return ch;
}

qsizetype ScoreEdit::byteInBlock(const QTextBlock& block, int blockIndex, int chars) const {
    int ch = 0;
    qsizetype at = 0;
    if (m_cacheBlock == blockIndex && m_cacheChar <= chars) {
        ch = m_cacheChar;
        at = m_cacheByte;
    }
    const LineReader line(document(), block, chars - ch);
    while (ch < chars && ch < line.size()) {
        int units = 1;
        at += gbk::encodedLength(line.at(ch, &units));
        ch += units;
    }
    m_cacheBlock = blockIndex;
    m_cacheChar = ch;
    m_cacheByte = at;
    return at;
}

void ScoreEdit::keyPressEvent(QKeyEvent* event) {
    // Typed characters never reach the score: notes come from the keyboard device. Copy, paste
    // and the keys that edit or move the caret keep their usual effect.
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Paste)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // A line break is always a real one (CR LF), never a soft line separator.
        QKeyEvent plain(event->type(), key, Qt::NoModifier, QStringLiteral("\r"));
        QPlainTextEdit::keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
        return;
    }
    if (isEditingKey(key)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ScoreEdit::inputMethodEvent(QInputMethodEvent* event) {
    // An input method's committed text is typed text too.
    event->accept();
}

void ScoreEdit::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit leftButtonReleased();
    }
}

} // namespace tonmiro::app
