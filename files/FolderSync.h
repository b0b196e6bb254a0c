#pragma once

#include <filesystem>

namespace a3 {

// Puts a folder's entries (a file just made or renamed in it) on the disk:
// 0 once they are, otherwise the system's reason (an errno value) why they
// may not be. Some file systems cannot sync a folder (EINVAL) and need not.
int syncFolder(int folderFd);
int syncFolder(const std::filesystem::path& folder);

} // namespace a3
