#include "FileStamp.h"

#include <QCryptographicHash>
#include <QFile>

namespace a3 {

std::optional<FileStamp> FileStamp::of(const QString& path, const QByteArray& content)
{
    const std::filesystem::path file(QFile::encodeName(path).constData());
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(file, error);
    if (!error) {
        stamp.modified = std::filesystem::last_write_time(file, error);
    }
    if (error) {
        return std::nullopt;
    }
    stamp.taken = std::filesystem::file_time_type::clock::now();
    stamp.digest = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
    return stamp;
}

} // namespace a3
