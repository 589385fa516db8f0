#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <vector>

namespace tonmiro::app {

// The score edit box 编辑框1. It shows the GBK score decoded (losslessly, see gbk::decode) and
// speaks bytes to the rest of the program: every position and length below is a byte count in
// the GBK text.
//
// Selection model: beside the live selection (what is highlighted, where the caret is) the box
// keeps a stored start and a stored length, both 0 at first. Writing either re-selects from the
// stored start for the stored length (held within the text) and scrolls it into view; reading
// the start gives the live selection's start. The selection stays highlighted while the box
// does not have the focus.
//
// UI thread only.
class ScoreEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ScoreEdit(QWidget* parent = nullptr);

    QByteArray text() const;               // the whole score
    void setText(const QByteArray& bytes); // replaces the whole score (one text-changed notice)
    qsizetype textLength() const;          // bytes, without encoding the text

    QByteArray selectedText() const;           // bytes of the live selection
    qsizetype selectionStart() const;          // live
    qsizetype selectionEnd() const;            // live
    void setSelectionStart(qsizetype start);   // stored start, then re-select
    void setSelectionLength(qsizetype length); // stored length, then re-select
    qsizetype storedSelectionStart() const { return m_storedStart; }
    qsizetype storedSelectionLength() const { return m_storedLength; }

    // Replaces the live selection with bytes as one undoable edit; the caret ends after them.
    void replaceSelection(const QByteArray& bytes);

    // Byte position <-> character position in the document.
    int charPosition(qsizetype bytePos) const;
    qsizetype bytePosition(int charPos) const;

signals:
    // Once per change of the text, whatever made it.
    void scoreChanged();
    // The left mouse button was released over the box.
    void leftButtonReleased();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void onContentsChange(int position, int removed, int added);
    void rebuildAll();
    void rebuildPrefix() const;
    void reselect();
    int charInBlock(const QTextBlock& block, int blockIndex, qsizetype bytes) const;
    qsizetype byteInBlock(const QTextBlock& block, int blockIndex, int chars) const;

    bool m_replacingAll = false;
    qsizetype m_storedStart = 0;
    qsizetype m_storedLength = 0;

    // Bytes per block (line) without its CR LF, kept up to date on each edit, and their running
    // sums (rebuilt lazily after an edit), so a byte position maps to a line in O(log lines).
    std::vector<qsizetype> m_blockBytes;
    mutable std::vector<qsizetype> m_blockStartBytes;
    mutable qsizetype m_totalBytes = 0;
    mutable bool m_prefixDirty = true;

    // The last mapping made inside one line, so stepping through a long line costs O(step).
    mutable int m_cacheBlock = -1;
    mutable int m_cacheChar = 0;       // character offset inside the block
    mutable qsizetype m_cacheByte = 0; // byte offset inside the block
};

} // namespace tonmiro::app
