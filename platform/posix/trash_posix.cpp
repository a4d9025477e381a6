#include <QFile>
#include <QString>

#include "platform/trash.h"

namespace mervik {

// QFile implements the freedesktop.org trash: the home trash when the path
// is on the home volume, else the volume's own .Trash-<uid> folder.
bool moveToTrash(const std::string& path) {
    return QFile::moveToTrash(
        QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
}

}  // namespace mervik
