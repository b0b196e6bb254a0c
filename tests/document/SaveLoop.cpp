// The saver that CrashSafeSaveTest kills. For each line "save" on standard
// input it forks a child that saves two banks in turn to one file through
// the document layer, without pause, until it is killed. The child prints
// "saving PID" once its first save is done; this process then waits for it
// and prints how it ended: "ended signal N" or "ended exit N". Forking from
// a process that has loaded everything lets a test kill hundreds of saves a
// second.
//
// Usage: a3-save-loop TARGET FIRST.syx SECOND.syx

#include "A3AllDataDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <array>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

[[noreturn]] void saveUntilKilled(std::array<std::unique_ptr<a3::A3AllDataDocument>, 2>& banks,
                                  const QUrl& target)
{
    for (std::size_t saves = 0;; ++saves) {
        a3::DocumentError error;
        if (!banks[saves % 2]->saveToURL(target, &error)) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(error.description));
            std::fflush(stderr);
            ::_exit(1);
        }
        if (saves == 0) {
            std::printf("saving %d\n", static_cast<int>(::getpid()));
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const QCoreApplication application(argc, argv);
    if (argc != 4) {
        std::fputs("usage: a3-save-loop TARGET FIRST.syx SECOND.syx\n", stderr);
        return 2;
    }
    const QUrl target = QUrl::fromLocalFile(QFile::decodeName(argv[1]));
    std::array<std::unique_ptr<a3::A3AllDataDocument>, 2> banks;
    for (std::size_t k = 0; k < banks.size(); ++k) {
        banks[k] =
            std::make_unique<a3::A3AllDataDocument>(std::filesystem::path(A3_FACTORY_BANK_PATH));
        a3::DocumentError error;
        if (!banks[k]->readFromURL(QUrl::fromLocalFile(QFile::decodeName(argv[2 + k])), &error)) {
            std::fprintf(stderr, "%s: %s\n", argv[2 + k], qPrintable(error.description));
            return 1;
        }
    }
    std::puts("ready");
    std::fflush(stdout);
    char command[16];
    while (std::fgets(command, sizeof command, stdin) && std::strcmp(command, "save\n") == 0) {
        const pid_t saver = ::fork();
        if (saver == 0) {
            saveUntilKilled(banks, target);
        }
        int status = 0;
        if (saver < 0 || ::waitpid(saver, &status, 0) != saver) {
            std::perror("a3-save-loop");
            return 1;
        }
        if (WIFSIGNALED(status)) {
            std::printf("ended signal %d\n", WTERMSIG(status));
        } else {
            std::printf("ended exit %d\n", WEXITSTATUS(status));
        }
        std::fflush(stdout);
    }
    return 0;
}
