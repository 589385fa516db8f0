#pragma once

#include <QByteArray>
#include <QString>

namespace tonmiro::notation {

// Reads a score file: its bytes up to, not including, the first zero byte. A file that cannot
// be read (missing, a folder, no permission) reads as empty.
QByteArray readScoreFile(const QString& path);

// Writes the exact bytes as the whole content of the file, creating it or replacing it. The old
// content is replaced only once all of the new content has been written (QSaveFile), so a failed
// write leaves the old file as it was. Returns false when the write failed.
bool writeScoreFile(const QString& path, const QByteArray& bytes);

} // namespace tonmiro::notation
