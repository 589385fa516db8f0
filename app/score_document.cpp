#include "app/score_document.h"

#include "app/score_edit.h"
#include "notation/score_file.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace tonmiro::app {

namespace {

const QString kCaption = QStringLiteral("Tonmiro");
const QString kCaptionGap = QStringLiteral("    ");
// The score files' filter: one entry, "txt歌词文件（*.txt）", matching *.txt.
const QString kFilter = QStringLiteral("txt歌词文件（*.txt） (*.txt)");
const QString kDefaultSuffix = QStringLiteral("txt");

} // namespace

ScoreDocument::ScoreDocument(ScoreEdit& edit, QPushButton& saveButton, QWidget& window,
                             DocumentDialogs& dialogs, QObject* parent)
    : QObject(parent), m_edit(edit), m_saveButton(saveButton), m_window(window), m_dialogs(dialogs),
      m_write(&notation::writeScoreFile) {
    connect(&m_edit, &ScoreEdit::scoreChanged, this, &ScoreDocument::markModified);
    connect(&m_edit, &ScoreEdit::leftButtonReleased, this, &ScoreDocument::refreshStoredSelection);
}

bool ScoreDocument::isModified() const {
    return m_saveButton.isEnabled();
}

void ScoreDocument::markModified() {
    m_saveButton.setEnabled(true);
}

void ScoreDocument::markSaved() {
    m_saveButton.setEnabled(false);
}

void ScoreDocument::setCaption() {
    m_window.setWindowTitle(kCaption + kCaptionGap + m_path);
}

void ScoreDocument::save() {
    if (m_path.isEmpty()) {
        if (auto chosen = m_dialogs.askSavePath(m_path)) {
            m_path = *chosen;
        }
    }
    // A cancelled dialog leaves no path: the write fails and the score stays modified.
    if (!m_path.isEmpty() && m_write(m_path, m_edit.text())) {
        markSaved();
    }
}

void ScoreDocument::newScore() {
    if (isModified()) {
        switch (m_dialogs.askSaveChanges()) {
        case DocumentDialogs::Answer::Cancel:
            return;
        case DocumentDialogs::Answer::Yes:
            save(); // goes on whatever the outcome
            break;
        case DocumentDialogs::Answer::No:
            break;
        }
    }
    const auto chosen = m_dialogs.askSavePath(m_path);
    if (!chosen) {
        return;
    }
    m_path = *chosen;
    m_write(m_path, QByteArray()); // a new score file starts empty; its outcome is not examined
    setCaption();
    m_edit.setText(QByteArray()); // marks the score modified ...
    markSaved();                  // ... and a new score counts as saved
}

void ScoreDocument::open() {
    const auto chosen = m_dialogs.askOpenPath(m_path);
    if (!chosen) {
        return; // Open asks nothing about unsaved changes, and a cancel changes nothing
    }
    m_path = *chosen;
    m_edit.setText(notation::readScoreFile(m_path));
    setCaption();
    markSaved();
    m_edit.setSelectionStart(0); // playback starts at the top of the opened score
}

bool ScoreDocument::mayClose() {
    if (!isModified()) {
        return true;
    }
    switch (m_dialogs.askSaveChanges()) {
    case DocumentDialogs::Answer::Cancel:
        return false;
    case DocumentDialogs::Answer::Yes:
        save();
        return !isModified(); // a failed save keeps the window, so nothing is lost unasked
    case DocumentDialogs::Answer::No:
        return true;
    }
    return false;
}

void ScoreDocument::refreshStoredSelection() {
    // What the user selected with the mouse becomes where playback goes on from.
    const qsizetype start = m_edit.selectionStart();
    const qsizetype end = m_edit.selectionEnd();
    m_edit.setSelectionStart(start);
    m_edit.setSelectionLength(end - m_edit.selectionStart());
}

std::optional<QString> QtDocumentDialogs::askSavePath(const QString& current) {
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave); // asks before replacing an existing file
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(kFilter);
    dialog.setDefaultSuffix(kDefaultSuffix);
    if (!current.isEmpty()) {
        dialog.selectFile(current);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDocumentDialogs::askOpenPath(const QString& current) {
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile); // a missing file may be chosen, after a question
    dialog.setNameFilter(kFilter);
    dialog.setDefaultSuffix(kDefaultSuffix);
    if (!current.isEmpty()) {
        dialog.selectFile(current);
    }
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString path = dialog.selectedFiles().constFirst();
        if (QFileInfo::exists(path)) {
            return path;
        }
        const auto create = QMessageBox::question(
            m_parent, dialog.windowTitle(),
            QStringLiteral("%1\n该文件不存在。\n要创建该文件吗？").arg(QFileInfo(path).fileName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (create == QMessageBox::Yes) {
            return path;
        }
    }
    return std::nullopt;
}

DocumentDialogs::Answer QtDocumentDialogs::askSaveChanges() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("提示！"),
                    QStringLiteral("内容被改变，是否保存文件？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_parent);
    box.setObjectName(QStringLiteral("saveQuestion"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel); // closing the box counts as Cancel
    box.setWindowModality(Qt::ApplicationModal);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

} // namespace tonmiro::app
