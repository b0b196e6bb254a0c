#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace a3 {

// What tells one version of a file from another, without keeping its
// content: size and time say whether it may have changed, the digest whether
// it did.
struct FileStamp
{
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    std::filesystem::file_time_type taken; // when the stamp was made
    QByteArray digest;

    // The stamp of the file at path as it is now, with the digest of content
    // (the file's content, or nothing for a stamp of size and time only);
    // nothing when the file cannot be looked at.
    static std::optional<FileStamp> of(const QString& path, const QByteArray& content);

    // Whether a file now stamped as now is the file this stamp was made of,
    // without reading it. A file's time has the granularity of the system's
    // clock tick: a write in the tick of the stamp itself leaves the time as
    // it was, so a stamp made that close proves nothing.
    bool showsUnchanged(const FileStamp& now) const
    {
        return size == now.size && modified == now.modified &&
               modified + std::chrono::seconds(2) < taken;
    }
};

} // namespace a3
