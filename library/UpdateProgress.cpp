#include "UpdateProgress.h"

namespace a3::library {

void UpdateProgress::arrive(const std::filesystem::path& folder)
{
    const auto now = std::chrono::steady_clock::now();
    const std::scoped_lock lock(_mutex);
    if (_place.folder != folder) {
        _place.folder = folder;
    }
    _place.since = now;
}

UpdateProgress::Place UpdateProgress::place() const
{
    const std::scoped_lock lock(_mutex);
    return _place;
}

} // namespace a3::library
