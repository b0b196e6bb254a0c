#pragma once

#include "Result.h"

namespace a3 {

// Puts a folder's entries (a file just made or renamed in it) on the disk,
// or fails with the system's reason why they may not be. Some file systems
// cannot sync a folder (EINVAL) and need not.
Outcome syncFolder(int folderFd);

} // namespace a3
