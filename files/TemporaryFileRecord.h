#pragma once

#include <string_view>

namespace a3 {

// The temporary files that writes in this process have made and not yet
// renamed or removed, kept where a signal handler can find them, so that a
// program ended by a signal removes them first. The record is process-wide,
// as signals are: a handler runs in whichever thread the signal finds and
// must reach every thread's files. It lives in static storage and takes no
// lock, so that a handler may read it at any moment.

// One temporary file's entry, from just before the file is made (a signal
// may come while it is made) until the entry goes or is forgotten. A file
// renamed away need not be forgotten: its name is no longer there to remove.
class RecordedTemporaryFile
{
public:
    RecordedTemporaryFile() = default;
    // folder: an open descriptor of the file's folder, open while the entry
    // lives. Records nothing when the record is full or the name longer than
    // a folder takes.
    RecordedTemporaryFile(int folder, std::string_view name) noexcept;
    ~RecordedTemporaryFile() { forget(); }
    RecordedTemporaryFile(RecordedTemporaryFile&& other) noexcept;
    RecordedTemporaryFile& operator=(RecordedTemporaryFile&& other) noexcept;

    // Leaves the file out of the record, such as a copy kept on purpose.
    void forget() noexcept;

private:
    int _entry = -1;
};

// Removes every file in the record; their entries stay until forgotten.
// Async-signal-safe, for a handler of a signal that ends the program.
void removeRecordedTemporaryFiles() noexcept;

} // namespace a3
