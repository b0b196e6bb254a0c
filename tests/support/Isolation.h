#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace a3::test {

// Lets the rest of the current test run where the test process itself
// cannot: without root's privileges, or on a small disk of its own. Each
// runs the current test again in a child process (a ChildProcess) set up that
// way and expects it to pass there; the test run in the child finds itself
// set up and goes on.

// True where the test should go on: in a process without root's privileges
// (when not root, or in the child that gave them up). False in a process of
// root's, which has run the test in such a child. The child first hands
// ownedFolder (such as a fixture's folder, made before) to the user it
// becomes.
bool withoutPrivileges(const std::filesystem::path& ownedFolder = {});

// With the shared library at path preloaded (LD_PRELOAD) to stand in for
// some system calls: true where the test should go on, false in the process
// that has run the test there.
bool withPreloaded(const std::filesystem::path& library);

// The environment entries that preload library into a child process.
std::vector<std::string> preloading(const std::filesystem::path& library);

// In a private mount namespace, a fresh tmpfs mounted with these options
// ("size=16k,nr_inodes=3"): its folder where the test should go on, nothing
// in the process that has run the test there. Skips the test where mount
// namespaces are not allowed.
std::optional<std::filesystem::path> onSmallDisk(const std::string& tmpfsOptions);

// Fills the file system of path up with a file named filler so that exactly
// room bytes are left; page-sized filesystems take room in whole pages.
void fillUpTo(const std::filesystem::path& folder, std::uintmax_t room);

} // namespace a3::test
