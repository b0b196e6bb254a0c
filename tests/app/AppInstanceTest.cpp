// Starts of the app as a file manager makes them, one for each file opened:
// the real program as the later start, handing its files to this process,
// which plays the app running, with its event loop going meanwhile.

#include "AppInstance.h"

#include "AppTestSupport.h"
#include "DocumentFixtures.h"
#include "FakePrompts.h"

#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace a3 {
namespace {

using test::qPath;

class AppStarts : public test::WithWindows<test::FakePrompts>
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir / "run");
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
        test::writeFactoryBank(dir / "banks/b.syx");
        test::writeFactoryBank(dir / "banks/c.syx");
        QObject::connect(&instance, &AppInstance::filesRequested, &controller,
                         &DocumentController::openRequested);
    }

    // The app started from folder with arguments, as the user's next start.
    void startApp(QProcess& app, const std::filesystem::path& folder, const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), qPath(dir / "run"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        app.setProcessEnvironment(environment);
        app.setWorkingDirectory(qPath(folder));
        app.start(QStringLiteral(A3_LIBRARIAN_PATH), arguments);
        ASSERT_TRUE(app.waitForStarted());
    }

    // Its exit status, once it has ended while this app's event loop ran;
    // nothing when it did not end by itself.
    std::optional<int> ended(QProcess& app)
    {
        if (!QTest::qWaitFor([&] { return app.state() == QProcess::NotRunning; }, 30'000)) {
            app.kill();
            app.waitForFinished();
            return std::nullopt;
        }
        if (app.exitStatus() != QProcess::NormalExit) {
            return std::nullopt;
        }
        return app.exitCode();
    }

    std::optional<int> run(const std::filesystem::path& folder, const QStringList& arguments)
    {
        QProcess app;
        startApp(app, folder, arguments);
        return ended(app);
    }

    AppInstance instance{qPath(dir / "run/a3-librarian.socket")};
};

TEST_F(AppStarts, ALaterStartHandsItsFilesToTheAppRunningAndEnds)
{
    ASSERT_EQ(instance.start(qPath(dir.path()), {}), AppInstance::Start::Listening);

    // A name relative to the later start's own folder.
    EXPECT_EQ(run(dir / "banks", {QStringLiteral("b.syx")}), 0);
    DocumentWindow* b = controller.windowForFile(qPath(dir / "banks/b.syx"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(controller.windows().size(), 1);

    // The same file again, and one more: the open window comes forward, the
    // other opens beside it.
    EXPECT_EQ(run(dir.path(), {QStringLiteral("banks/b.syx"), qPath(dir / "banks/c.syx")}), 0);
    EXPECT_EQ(controller.windows().size(), 2);
    EXPECT_EQ(controller.windowForFile(qPath(dir / "banks/b.syx")), b);
    EXPECT_NE(controller.windowForFile(qPath(dir / "banks/c.syx")), nullptr);

    // No file: a new bank, in this app.
    EXPECT_EQ(run(dir.path(), {}), 0);
    EXPECT_EQ(controller.windows().size(), 3);

    // One that is no bank is told of here, where the user looks.
    EXPECT_EQ(run(dir.path(), {QStringLiteral("missing.syx")}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.errors.isEmpty(); }));
    EXPECT_TRUE(prompts.errors.front().contains(QStringLiteral("missing.syx")));

    // --new-instance starts an app of its own.
    QProcess own;
    startApp(own, dir.path(), {QStringLiteral("--new-instance")});
    EXPECT_FALSE(own.waitForFinished(1000));
    own.kill();
    own.waitForFinished();
}

TEST_F(AppStarts, ASocketLeftByACrashNeverStopsAStart)
{
    // A socket that nobody listens on any more, as a crash leaves it.
    const std::string path = (dir / "run/a3-librarian.socket").string();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(std::filesystem::is_socket(path));

    EXPECT_EQ(instance.start(qPath(dir.path()), {}), AppInstance::Start::Listening);
    EXPECT_EQ(run(dir / "banks", {QStringLiteral("b.syx")}), 0);
    EXPECT_NE(controller.windowForFile(qPath(dir / "banks/b.syx")), nullptr);
}

TEST_F(AppStarts, AStartWhileTheFirstIsStillStartingWaitsForItAndHandsOver)
{
    // The first start holds the lock from looking for an app until it
    // listens; the second comes meanwhile.
    QLockFile starting(instance.startLockPath());
    ASSERT_TRUE(starting.lock());
    QProcess second;
    startApp(second, dir / "banks", {QStringLiteral("b.syx")});
    EXPECT_FALSE(second.waitForFinished(2000)); // it waits; it did not make an app of its own
    ASSERT_TRUE(instance.listen());
    starting.unlock();
    EXPECT_EQ(ended(second), 0);
    EXPECT_NE(controller.windowForFile(qPath(dir / "banks/b.syx")), nullptr);
}

} // namespace
} // namespace a3
