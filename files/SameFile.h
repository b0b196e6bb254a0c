#pragma once

#include <filesystem>

namespace a3 {

// Whether two paths name one file: the same file system object (device and
// inode, so that links and hard links count) when both exist, otherwise the
// same place once symbolic links and "." and ".." are resolved.
bool isSameFile(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace a3
