#include "TemporaryFileRecord.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace a3 {
namespace {

// More than the writes that a program here has under way at once.
constexpr std::size_t kEntries = 16;

enum class State
{
    Free,
    Claimed,  // its name being written
    Recorded, // the file may exist
    Removing, // a handler is removing it
};
static_assert(std::atomic<State>::is_always_lock_free,
              "a signal handler may use only lock-free atomics");

struct Entry
{
    std::atomic<State> state = State::Free;
    int folder = -1;
    std::array<char, NAME_MAX + 1> name{};
};

std::array<Entry, kEntries> entries;

} // namespace

RecordedTemporaryFile::RecordedTemporaryFile(int folder, std::string_view name) noexcept
{
    if (name.size() > NAME_MAX) {
        return;
    }
    for (std::size_t index = 0; index < entries.size(); ++index) {
        Entry& entry = entries[index];
        State free = State::Free;
        if (entry.state.compare_exchange_strong(free, State::Claimed, std::memory_order_acquire)) {
            entry.folder = folder;
            *std::ranges::copy(name, entry.name.begin()).out = '\0';
            entry.state.store(State::Recorded, std::memory_order_release);
            _entry = static_cast<int>(index);
            return;
        }
    }
}

RecordedTemporaryFile::RecordedTemporaryFile(RecordedTemporaryFile&& other) noexcept
    : _entry(std::exchange(other._entry, -1))
{}

RecordedTemporaryFile& RecordedTemporaryFile::operator=(RecordedTemporaryFile&& other) noexcept
{
    if (this != &other) {
        forget();
        _entry = std::exchange(other._entry, -1);
    }
    return *this;
}

void RecordedTemporaryFile::forget() noexcept
{
    if (_entry < 0) {
        return;
    }
    std::atomic<State>& state = entries[static_cast<std::size_t>(_entry)].state;
    State recorded = State::Recorded;
    // While a handler in another thread removes the file, the entry is its
    // own; it lets go at once.
    while (!state.compare_exchange_weak(recorded, State::Free, std::memory_order_release,
                                        std::memory_order_relaxed)) {
        recorded = State::Recorded;
    }
    _entry = -1;
}

void removeRecordedTemporaryFiles() noexcept
{
    for (Entry& entry : entries) {
        State recorded = State::Recorded;
        if (entry.state.compare_exchange_strong(recorded, State::Removing,
                                                std::memory_order_acquire)) {
            ::unlinkat(entry.folder, entry.name.data(), 0);
            entry.state.store(State::Recorded, std::memory_order_release);
        }
    }
}

} // namespace a3
