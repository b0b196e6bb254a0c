#include "Isolation.h"

#include "ChildProcess.h"
#include "TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace a3::test {
namespace {

using namespace std::chrono_literals;

constexpr char kIsolatedRun[] = "A3_TEST_ISOLATED_RUN";
constexpr char kUnprivileged[] = "unprivileged";
constexpr char kSmallDiskPrefix[] = "small-disk:";
constexpr char kPreloaded[] = "preloaded";

std::string isolatedRun()
{
    const char* value = std::getenv(kIsolatedRun);
    return value ? value : "";
}

// Runs the current test again as the last arguments of wrapper, with the
// isolation named in the environment, and expects it to pass there.
void expectToPassInChild(std::vector<std::string> wrapper, const std::string& isolation,
                         std::vector<std::string> environment = {})
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    wrapper.push_back(std::filesystem::read_symlink("/proc/self/exe").string());
    wrapper.push_back(std::string("--gtest_filter=") + test->test_suite_name() + "." +
                      test->name());
    environment.push_back(std::string(kIsolatedRun) + "=" + isolation);
    // The child's folders go into one of this process's, which removes them:
    // a child that gave up root cannot remove what it made as root. Open to
    // all as /tmp is, for a child that makes its folders after giving it up.
    const TempDir childTemp;
    std::filesystem::permissions(childTemp.path(),
                                 std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    environment.push_back("TMPDIR=" + childTemp.path().string());
    const RunResult run = test::run(wrapper, 120s, environment);
    EXPECT_EQ(0, run.exit.code) << run.out << run.err;
    EXPECT_NE(std::string::npos, run.out.find("[  PASSED  ] 1 test.")) << run.out << run.err;
}

constexpr id_t kNobody = 65534;

// A shell in a private mount namespace that mounts the tmpfs on its folder,
// then becomes the rest of its arguments. Root has the right to mount;
// anyone else gets it in a user namespace of their own.
std::vector<std::string> mountingShell(const std::string& options, const std::string& folder)
{
    const std::string unshare = ::geteuid() == 0 ? "-m" : "-Urm";
    const std::string script = "mount -t tmpfs -o \"$1\" tmpfs \"$2\" && shift 2 && exec \"$@\"";
    std::vector<std::string> command{"/usr/bin/unshare", unshare, "--propagation", "private"};
    command.insert(command.end(), {"/bin/sh", "-c", script, "sh", options, folder});
    return command;
}

// Why mount namespaces cannot be had here; empty when they can.
std::string mountNamespaceProblem()
{
    const TempDir dir;
    auto probe = mountingShell("size=4k", dir.path().string());
    probe.emplace_back("/bin/true");
    const RunResult run = test::run(probe, 30s);
    return run.exit.code == 0 ? std::string()
                              : run.err + "(exit " + std::to_string(run.exit.code) + ")";
}

} // namespace

bool withoutPrivileges(const std::filesystem::path& ownedFolder)
{
    if (::geteuid() != 0) {
        return true;
    }
    if (isolatedRun() == kUnprivileged) {
        if (!ownedFolder.empty()) {
            EXPECT_EQ(0, ::chown(ownedFolder.c_str(), kNobody, kNobody)) << std::strerror(errno);
        }
        // Changing the user makes the process undumpable, which would keep
        // LeakSanitizer from inspecting it at exit.
        EXPECT_TRUE(::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 &&
                    ::setuid(kNobody) == 0 && ::prctl(PR_SET_DUMPABLE, 1) == 0)
            << std::strerror(errno);
        return ::geteuid() != 0;
    }
    expectToPassInChild({}, kUnprivileged);
    return false;
}

bool withPreloaded(const std::filesystem::path& library)
{
    if (isolatedRun() == kPreloaded) {
        return true;
    }
    expectToPassInChild({}, kPreloaded, preloading(library));
    return false;
}

std::vector<std::string> preloading(const std::filesystem::path& library)
{
    // AddressSanitizer wants its runtime loaded first; the preloaded
    // libraries call nothing it watches.
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    return {"LD_PRELOAD=" + library.string(),
            "ASAN_OPTIONS=" + std::string(asanOptions ? asanOptions : "") +
                ":verify_asan_link_order=0"};
}

std::optional<std::filesystem::path> onSmallDisk(const std::string& tmpfsOptions)
{
    const std::string run = isolatedRun();
    if (run.rfind(kSmallDiskPrefix, 0) == 0) {
        return std::filesystem::path(run.substr(std::strlen(kSmallDiskPrefix)));
    }
    static const std::string problem = mountNamespaceProblem();
    if (!problem.empty()) {
        [] {
            GTEST_SKIP() << "needs a private mount namespace with a tmpfs (unshare -m as root, "
                            "unshare -Urm otherwise), which this machine refuses: "
                         << problem;
        }();
        return std::nullopt;
    }
    const TempDir dir;
    expectToPassInChild(mountingShell(tmpfsOptions, dir.path().string()),
                        kSmallDiskPrefix + dir.path().string());
    return std::nullopt;
}

void fillUpTo(const std::filesystem::path& folder, std::uintmax_t room)
{
    // The room as its owner may use it, as statvfs's f_bavail counts it.
    const std::uintmax_t free = std::filesystem::space(folder).available;
    ASSERT_GE(free, room);
    writeBytes(folder / "filler", std::vector<std::uint8_t>(free - room, 0xAB));
    ASSERT_EQ(room, std::filesystem::space(folder).available);
}

} // namespace a3::test
