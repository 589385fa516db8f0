#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QPushButton;
class QWidget;

namespace tonmiro::app {

class ScoreEdit;

// The file dialog and the save question, behind an interface so tests can answer them.
class DocumentDialogs {
public:
    enum class Answer { Yes, No, Cancel };
    virtual ~DocumentDialogs() = default;
    // The dialog in save mode (asks before replacing a file), pre-filled with current. Nothing
    // when cancelled.
    virtual std::optional<QString> askSavePath(const QString& current) = 0;
    // The dialog in open mode (offers to create a missing file), pre-filled with current.
    virtual std::optional<QString> askOpenPath(const QString& current) = 0;
    // "内容被改变，是否保存文件？" with Yes, No and Cancel; closing the box is Cancel.
    virtual Answer askSaveChanges() = 0;
};

// The one score document: New, Open, Save, the close guard, the modified flag (the enabled state
// of the save button) and the window caption. The score is the text of the edit box; the path is
// kept here and pre-fills the dialog. UI thread only.
class ScoreDocument : public QObject {
    Q_OBJECT
public:
    // Writes the whole file; false when it failed. Replaceable so tests can make writes fail.
    using Writer = std::function<bool(const QString& path, const QByteArray& bytes)>;

    ScoreDocument(ScoreEdit& edit, QPushButton& saveButton, QWidget& window, DocumentDialogs& dialogs,
                  QObject* parent = nullptr);

    void setWriter(Writer writer) { m_write = std::move(writer); }

    void newScore();
    void open();
    void save();
    // Asked before the window closes: true lets it close.
    bool mayClose();

    const QString& path() const { return m_path; }
    bool isModified() const;

private:
    void markModified();
    void markSaved();
    void refreshStoredSelection();
    void setCaption();

    ScoreEdit& m_edit;
    QPushButton& m_saveButton;
    QWidget& m_window;
    DocumentDialogs& m_dialogs;
    Writer m_write;
    QString m_path;
};

// The program's dialogs: Qt's own file dialog (the same on every platform, so it behaves the
// same everywhere) and a question box without an icon.
class QtDocumentDialogs final : public DocumentDialogs {
public:
    explicit QtDocumentDialogs(QWidget* parent) : m_parent(parent) {}
    std::optional<QString> askSavePath(const QString& current) override;
    std::optional<QString> askOpenPath(const QString& current) override;
    Answer askSaveChanges() override;

private:
    QWidget* m_parent;
};

} // namespace tonmiro::app
