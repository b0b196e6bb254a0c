#pragma once

#include "Result.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace a3 {

// A write that was done: the new content is in place.
struct Written
{
    // Whether it is on the disk too: when its folder could not be synced, a
    // crash may undo it, for the system's reason.
    bool durable = true;
    std::string whyNotDurable;
};

// A write done, or the system's reason why not; then the old file is as it
// was.
using WriteResult = Result<Written>;

// Writes bytes as the whole new content of path. They go to a new temporary
// file in the target's folder, which is synced and then renamed over the
// target, and the folder is synced after it: a failure or a crash leaves the
// old file as it was.
//
// A replaced file keeps what it is apart from its content: its mode, owner,
// group and extended attributes (ACLs among them). Where a new file could not
// be given them (the writer may not give it the owner or an attribute) or
// would split the file's hard links, the new content is written into the file
// itself instead, after a synced copy of the old content beside it; should
// that write fail, the copy stays and the reason names it.
//
// An existing target that the writer may not write, or that is not a regular
// file (a FIFO, a device), is refused before anything is written. A target
// that is a symbolic link is written through to the file it points to, and
// stays a link. Reasons are the system's ("No space left on device",
// "Permission denied", ...); no temporary file is left behind, nor when an
// ending signal ends a program that removes them (EndingSignals.h), which
// waits for a write into the file itself to finish.
WriteResult writeFileAtomically(const std::filesystem::path& path,
                                std::span<const std::uint8_t> bytes);

// Writes bytes as a new file in folder under the first of the names
// nameFor(1), nameFor(2), ... that no file has, never over a file, in the
// same steps as writeFileAtomically: the file appears whole or not at all.
struct NewFile
{
    std::filesystem::path path;
    Written written;
};
Result<NewFile> writeNewFile(const std::filesystem::path& folder,
                             const std::function<std::string(int attempt)>& nameFor,
                             std::span<const std::uint8_t> bytes);

// Fails, with the reason writeFileAtomically(path, ...) would fail before
// writing a byte (the folder is missing or read-only, path is a folder, a
// FIFO or a read-only file, ...), when it could not start. For a caller that
// must know before it fetches what it would write, such as a dump that a
// device sends only once.
Outcome checkFileCanBeWritten(const std::filesystem::path& path);

} // namespace a3
