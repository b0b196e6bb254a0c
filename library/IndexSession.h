#pragma once

#include "LibraryIndex.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace a3::library {

// What one refresh of the index did.
struct RefreshResult
{
    IndexUpdate update;
    // Every bank the index holds, when the index changed since the last
    // refresh's catalog (by this program or another); nothing otherwise.
    std::optional<PatchCatalog> catalog;
    std::string rebuiltBecause; // the index was unusable and was made anew
    // Whether the index was updated, or why not; a refresh that fails may
    // still have made the index anew first.
    Outcome updated;
};

// The index as a program keeps it across refreshes: opened at the first,
// closed after a failure so that the next refresh opens it afresh. A failure
// that may pass (a full disk, an I/O error, another program holding the
// index) leaves the index as it is; a damaged index is made anew at the next
// refresh, once no other program has it open.
class IndexSession
{
public:
    explicit IndexSession(std::filesystem::path file);

    RefreshResult refresh(std::span<const std::filesystem::path> folders,
                          UpdateProgress* progress = nullptr);

private:
    std::filesystem::path _file;
    std::unique_ptr<LibraryIndex> _index;
    std::string _damage; // found in use, for the next open to replace
};

} // namespace a3::library
