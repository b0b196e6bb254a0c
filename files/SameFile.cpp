#include "SameFile.h"

#include <sys/stat.h>

namespace a3 {
namespace {

std::filesystem::path resolvedPlace(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (error) {
        resolved = std::filesystem::absolute(path, error).lexically_normal();
    }
    return resolved;
}

} // namespace

bool isSameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    if (a.empty() || b.empty()) {
        return false;
    }
    struct stat first
    {};
    struct stat second
    {};
    const bool firstExists = ::stat(a.c_str(), &first) == 0;
    const bool secondExists = ::stat(b.c_str(), &second) == 0;
    if (firstExists && secondExists) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    // One that exists is never the same as one that does not.
    return firstExists == secondExists && resolvedPlace(a) == resolvedPlace(b);
}

} // namespace a3
