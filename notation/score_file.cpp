#include "notation/score_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tonmiro::notation {

QByteArray readScoreFile(const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isDir()) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return {}; // a read that failed part way counts as unreadable
    }
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0) {
        bytes.truncate(zero);
    }
    return bytes;
}

bool writeScoreFile(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty() || QFileInfo(path).isDir()) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        return false; // the destructor discards the temporary file; the old file stays as it was
    }
    return file.commit();
}

} // namespace tonmiro::notation
