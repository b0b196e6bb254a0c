#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace a3 {

// Writes bytes as the whole new content of path. They go to a new temporary
// file in the target's folder, which is synced and then renamed over the
// target, and the folder is synced after it: a failure or a crash leaves the
// old file as it was, and the new one is complete once this returns.
//
// An existing target keeps its permission bits; a target that is a symbolic
// link is written through to the file it points to, and stays a link. Returns
// an empty string on success, otherwise the system's reason ("No space left
// on device", "Permission denied", ...), with no temporary file left behind.
std::string writeFileAtomically(const std::filesystem::path& path,
                                std::span<const std::uint8_t> bytes);

// Why writeFileAtomically(path, ...) would fail before writing a byte (the
// folder is missing or read-only, path is a folder, ...), or an empty string
// when it could start. For a caller that must know before it fetches what it
// would write, such as a dump that a device sends only once.
std::string whyFileCannotBeWritten(const std::filesystem::path& path);

} // namespace a3
