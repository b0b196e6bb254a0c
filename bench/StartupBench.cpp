// Start-up of the app to its first window on screen (a new document), beside
// the bare Qt program (a QMainWindow with a 100-row table) as the baseline.
// It needs an X server: tools/dev.sh bench runs it under xvfb-run. The
// exposure is seen from outside, by an X client watching for the program's
// windows, so the programs carry nothing for the measurement; the peak
// resident memory comes from wait4() once the program is killed.

#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Watches the X server for new top-level windows and tells when the first
// one is exposed.
class ExposureWatcher
{
public:
    ExposureWatcher()
        : _connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(_connection)) {
            return;
        }
        _root = xcb_setup_roots_iterator(xcb_get_setup(_connection)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(_connection, _root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(_connection);
    }
    ~ExposureWatcher() { xcb_disconnect(_connection); }
    ExposureWatcher(const ExposureWatcher&) = delete;
    ExposureWatcher& operator=(const ExposureWatcher&) = delete;

    bool connected() const { return xcb_connection_has_error(_connection) == 0; }

    // Waits until a window created since the last call is exposed; false
    // when the deadline comes first.
    bool waitForFirstExposure(Clock::time_point deadline)
    {
        _exposed = false;
        while (!_exposed) {
            if (!handleEvents(deadline)) {
                return false;
            }
        }
        return true;
    }

    // Waits until the windows of a killed program are gone, so that the next
    // program starts on an idle server.
    void waitUntilWindowsAreGone()
    {
        const auto deadline = Clock::now() + 5s;
        while (!_windows.empty() && handleEvents(deadline)) {
        }
        _windows.clear();
    }

private:
    // Handles the events that come before the deadline; false at the deadline.
    bool handleEvents(Clock::time_point deadline)
    {
        xcb_generic_event_t* event = xcb_poll_for_event(_connection);
        if (!event) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms) {
                return false;
            }
            pollfd fd{xcb_get_file_descriptor(_connection), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left.count()));
            return !xcb_connection_has_error(_connection);
        }
        handle(event);
        std::free(event);
        return true;
    }

    void handle(const xcb_generic_event_t* event)
    {
        switch (event->response_type & 0x7F) {
        case XCB_CREATE_NOTIFY: {
            const auto* created = reinterpret_cast<const xcb_create_notify_event_t*>(event);
            if (created->parent == _root) {
                watch(created->window);
            }
            break;
        }
        case XCB_DESTROY_NOTIFY:
            _windows.erase(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
            break;
        case XCB_EXPOSE:
            _exposed = _exposed || _windows.contains(
                                       reinterpret_cast<const xcb_expose_event_t*>(event)->window);
            break;
        default:
            break;
        }
    }

    // Asks for the window's Expose events; if it was mapped before the
    // request reached the server, it is exposed already.
    void watch(xcb_window_t window)
    {
        _windows.insert(window);
        const std::uint32_t mask = XCB_EVENT_MASK_EXPOSURE;
        xcb_change_window_attributes(_connection, window, XCB_CW_EVENT_MASK, &mask);
        const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
            xcb_get_window_attributes_reply(
                _connection, xcb_get_window_attributes(_connection, window), nullptr),
            &std::free);
        _exposed = _exposed || (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE);
    }

    xcb_connection_t* _connection;
    xcb_window_t _root = 0;
    std::set<xcb_window_t> _windows;
    bool _exposed = false;
};

// A runtime folder of the benchmark's own: the app started looks there for
// an app already running, and must not find the user's.
const std::string& runtimeFolderVariable()
{
    static const std::string variable = [] {
        char folder[] = "/tmp/a3-startup-bench-XXXXXX";
        return std::string("XDG_RUNTIME_DIR=") + (::mkdtemp(folder) ? folder : "/nonexistent");
    }();
    return variable;
}

// Starts the program on the X server with its output discarded.
pid_t start(const char* program)
{
    std::vector<char*> environment{const_cast<char*>("QT_QPA_PLATFORM=xcb"),
                                   const_cast<char*>(runtimeFolderVariable().c_str())};
    for (char** entry = environ; *entry; ++entry) {
        environment.push_back(*entry);
    }
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(program), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program, &actions, nullptr, argv, environment.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void BM_StartUpToFirstWindow(benchmark::State& state, const char* program)
{
    // One connection for the whole run: an X server resets when its last
    // client leaves, and refuses connections meanwhile.
    static ExposureWatcher watcher;
    if (!watcher.connected()) {
        state.SkipWithError("needs an X server: run it under xvfb-run (tools/dev.sh bench does)");
        return;
    }
    double peakMiB = 0;
    for (auto _ : state) {
        const auto started = Clock::now();
        const pid_t pid = start(program);
        const bool shown = pid > 0 && watcher.waitForFirstExposure(started + 30s);
        const auto exposed = Clock::now();
        rusage usage{};
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, nullptr, 0, &usage);
        }
        watcher.waitUntilWindowsAreGone();
        if (!shown) {
            state.SkipWithError("the program showed no window within 30 s");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(exposed - started).count());
        peakMiB += static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    state.counters["peak_rss_MiB"] =
        benchmark::Counter(peakMiB, benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_StartUpToFirstWindow, bare_qt_window, A3_BARE_WINDOW_PATH)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_StartUpToFirstWindow, a3_librarian, A3_LIBRARIAN_PATH)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

BENCHMARK_MAIN();
