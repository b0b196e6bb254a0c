// The Device menu against the simulated device on the private JACK server:
// the commands as a user runs them, with the port chosen by the test and the
// progress dialog the app shows; then with the app's own dialogs throughout.

#include "DeviceCommands.h"

#include "AppController.h"
#include "AppTestSupport.h"
#include "ChildProcess.h"
#include "DocumentController.h"
#include "DocumentFixtures.h"
#include "FakePrompts.h"
#include "PacedSender.h"
#include "PatchTableModel.h"
#include "PrivateJackServer.h"
#include "Watchdog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QProgressBar>
#include <QPushButton>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

namespace a3 {
namespace {

using namespace std::chrono_literals;
using test::qPath;

using test::menuAction;

// The progress dialog on screen, told apart by its bar.
QDialog* shownProgress()
{
    return test::shownDialogWith<QProgressBar>();
}

QString progressText(QDialog& progress)
{
    return progress.findChild<QLabel*>()->text();
}

void clickCancel(QDialog& progress)
{
    progress.findChild<QPushButton*>()->click();
}

const char* const kDeviceCommands[] = {"Send Bank to Device…", "Receive Bank from Device…",
                                       "Compare with Device…"};

template <typename Prompts>
class WithDevice : public ::testing::Test
{
public:
    void SetUp() override
    {
        A3AllDataSource bank = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
        test::writeBytes(dir / bankName, bank.syxData());
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ("ready", device->readLine(10s)) << device->err();
        window = controller->openDocument(qPath(dir / bankName));
        ASSERT_NE(nullptr, window);
    }

    void TearDown() override
    {
        for (DocumentWindow* open : controller->windows()) {
            open->document().undoStack().setClean();
        }
        EXPECT_EQ(true, test::outcomeOf([&](auto done) { controller->closeAllDocuments(done); }));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        controller.reset();
    }

    void tell(const std::string& command) { device->write(command + "\n"); }
    std::string answer() { return device->readLine(30s); }

    // Once the app listens for the device's dump.
    bool waitingForTheDump()
    {
        QDialog* progress = shownProgress();
        return progress && progressText(*progress).startsWith(QLatin1String("Start the"));
    }

    test::Watchdog watchdog{"a device command", 180s};
    test::TempDir dir;
    std::string bankName = "bank.syx";
    const std::string deviceName = "a3-app-device-" + std::to_string(::getpid());
    const std::string deviceIn = deviceName + " in:MIDI";
    const std::string deviceOut = deviceName + " out:MIDI";
    std::unique_ptr<test::ChildProcess> device;
    Prompts prompts;
    AppController appController{{}, [](const QUrl&) { return false; }};
    std::unique_ptr<DocumentController> controller = std::make_unique<DocumentController>(
        appController, prompts, DeviceLink::Settings{10 * midi::kWireSpeed, 20s});
    DocumentWindow* window = nullptr;
};

class DeviceCommandsTest : public WithDevice<test::FakePrompts>
{
protected:
    // Runs a Device command with the port the test chose, until it ends.
    void run(const char* command, const std::string& port,
             const std::function<void(QDialog&)>& whileItRuns = {})
    {
        prompts.portAnswer = QString::fromStdString(port);
        menuAction(window, QString::fromUtf8(command))->trigger();
        if (whileItRuns) {
            QDialog* progress = nullptr;
            ASSERT_TRUE(QTest::qWaitFor([&] { return (progress = shownProgress()) != nullptr; }));
            whileItRuns(*progress);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->deviceLink().isBusy(); }, 60000));
        QApplication::processEvents();
    }

    // Tells the device to go ahead once the app listens for its dump.
    std::function<void(QDialog&)> deviceSends(const std::string& command)
    {
        return [this, command](QDialog&) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return waitingForTheDump(); }));
            tell(command);
        };
    }

    std::vector<std::uint8_t> savedByDevice()
    {
        tell("save " + (dir / "on-device.syx").string());
        EXPECT_EQ("saved 29198", answer());
        return test::readBytes(dir / "on-device.syx");
    }
};

TEST_F(DeviceCommandsTest, SendsWhatSavingWouldWriteAndLeavesTheDocumentAsItWas)
{
    // A file with a stale chain checksum: one nibble of it changed.
    A3AllDataSource factory = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    std::vector<std::uint8_t> stale = factory.syxData();
    stale[kHeaderSize + 2 * (offsetof(A3AllData, checksum) - kHeaderSize)] ^= 0x0F;
    test::writeBytes(dir / "stale.syx", stale);
    window = controller->openDocument(qPath(dir / "stale.syx"));
    ASSERT_NE(nullptr, window);
    window->document().renamePatch(3, QStringLiteral("Sent"));
    const A3AllDataSource& bank = window->document().bank();
    const A3AllData stored = bank.data();
    ASSERT_NE(factory.chainChecksum(), bank.chainChecksum());

    run("Send Bank to Device…", deviceIn);
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    EXPECT_TRUE(prompts.offeredPorts.contains(QString::fromStdString(deviceIn)));
    EXPECT_EQ("received 29198", answer());
    A3AllDataSource saving = bank;
    EXPECT_EQ(saving.syxData(), savedByDevice());
    const A3AllData after = bank.data();
    EXPECT_EQ(0, std::memcmp(&stored, &after, sizeof stored)); // checksums untouched
    EXPECT_TRUE(window->document().isModified());

    run("Send Bank to Device…", deviceIn); // the port chosen last is offered first
    EXPECT_EQ(QString::fromStdString(deviceIn), prompts.preselectedPort);
}

TEST_F(DeviceCommandsTest, AReceivedBankOpensInANewEditedWindow)
{
    const auto sent = test::wellFormedAllDataFile();
    test::writeBytes(dir / "device.syx", sent);
    run("Receive Bank from Device…", deviceOut,
        deviceSends("send " + (dir / "device.syx").string() + " 31250"));
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    ASSERT_EQ(2, controller->windows().size());
    DocumentWindow* received = controller->windows().back();
    EXPECT_EQ(sent, test::fileContent(received->document()));
    EXPECT_TRUE(received->document().isModified());
    EXPECT_TRUE(received->document().filePath().isEmpty());
}

TEST_F(DeviceCommandsTest, ComparingReportsExactlyThePatchesThatDiffer)
{
    A3AllDataSource onDevice = window->document().bank();
    onDevice.setPatchName(u"Other", 4);
    onDevice.setPatchName(u"Second", 60);
    test::writeBytes(dir / "device.syx", onDevice.syxData());
    run("Compare with Device…", deviceOut,
        deviceSends("send " + (dir / "device.syx").string() + " 31250"));
    ASSERT_EQ(1, prompts.comparisons.size());
    EXPECT_EQ(QStringLiteral("The device’s bank differs from “bank.syx” in 2 patches."),
              prompts.comparisons[0].first);
    EXPECT_EQ((QList<QStringList>{{"5", "Metal  ", "Other  "}, {"61", "Acoustc", "Second "}}),
              prompts.comparisons[0].second);
    EXPECT_EQ(1, controller->windows().size());
}

TEST_F(DeviceCommandsTest, AForeignMessageIsRefusedAndOpensNothing)
{
    run("Receive Bank from Device…", deviceOut, deviceSends("send-junk 10244"));
    EXPECT_EQ(QStringList{QString::fromStdString("No bank was received from “" + deviceOut +
                                                 "”.|Received 10244 bytes; an All-Data dump "
                                                 "has 29198.")},
              prompts.errors);
    EXPECT_EQ(1, controller->windows().size());
}

TEST_F(DeviceCommandsTest, CancellingASendSaysTheDeviceGotAPartialDump)
{
    run("Send Bank to Device…", deviceIn, [](QDialog& progress) {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return progress.findChild<QProgressBar*>()->value() >= 4096; }));
        clickCancel(progress);
    });
    ASSERT_EQ(1, prompts.errors.size());
    EXPECT_TRUE(prompts.errors[0].contains(QLatin1String("partial dump")))
        << prompts.errors[0].toStdString();
}

// At the wire speed the port closing early in the send is noticed a second
// into it, long before the end.
TEST_F(DeviceCommandsTest, ASendWhosePortGoesIsReportedAsNotSent)
{
    controller = std::make_unique<DocumentController>(appController, prompts,
                                                      DeviceLink::Settings{midi::kWireSpeed, 2s});
    window = controller->openDocument(qPath(dir / "bank.syx"));
    run("Send Bank to Device…", deviceIn, [&](QDialog& progress) {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return progress.findChild<QProgressBar*>()->value() >= 2048; }));
        tell("close-input");
        EXPECT_EQ("closed", answer());
    });
    ASSERT_EQ(1, prompts.errors.size());
    const QString error = prompts.errors[0];
    EXPECT_TRUE(error.startsWith(QString::fromStdString("“bank.syx” was not sent to “" + deviceIn +
                                                        "”.|The port \"" + deviceIn +
                                                        "\" went away after ")))
        << error.toStdString();
    EXPECT_TRUE(error.endsWith(QLatin1String(" of 29198 bytes."))) << error.toStdString();
    EXPECT_FALSE(error.contains(QLatin1String("29198 of"))) << error.toStdString();
}

TEST_F(DeviceCommandsTest, CancellingAReceiveEndsQuietly)
{
    run("Receive Bank from Device…", deviceOut, [](QDialog& progress) {
        QTest::qWait(300);
        clickCancel(progress);
    });
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_EQ(1, controller->windows().size());
}

TEST_F(DeviceCommandsTest, AReceiveTimesOutOnADumpCutShort)
{
    controller = std::make_unique<DocumentController>(appController, prompts,
                                                      DeviceLink::Settings{midi::kWireSpeed, 2s});
    window = controller->openDocument(qPath(dir / "bank.syx"));
    test::writeBytes(dir / "device.syx", test::wellFormedAllDataFile());
    run("Receive Bank from Device…", deviceOut,
        deviceSends("send-truncated " + (dir / "device.syx").string() + " 12000 31250"));
    EXPECT_EQ(QStringList{QString::fromStdString("No bank was received from “" + deviceOut +
                                                 "”.|No All-Data dump arrived within 2 "
                                                 "seconds.")},
              prompts.errors);
}

TEST_F(DeviceCommandsTest, AJackServerStoppingMidSendIsReported)
{
    // The fixture's device gives way to one on a server of this test's own.
    device.reset();
    auto server = std::make_unique<test::PrivateJackServer>(
        std::string(std::getenv("JACK_DEFAULT_SERVER")) + "-app-killed");
    device = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
    ASSERT_EQ("ready", device->readLine(10s)) << device->err();
    run("Send Bank to Device…", deviceIn, [&](QDialog& progress) {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return progress.findChild<QProgressBar*>()->value() >= 2048; }));
        server->kill();
    });
    EXPECT_EQ(QStringList{QString::fromStdString("“bank.syx” was not sent to “" + deviceIn +
                                                 "”.|The JACK server stopped during the "
                                                 "transfer.")},
              prompts.errors);
    device.reset();
    server.reset();
}

// Delivers what the link reports to the GUI thread itself, after posting a
// call of its own: that call runs during a report only if something in the
// report runs an event loop.
class ReportWatcher final : public QObject
{
public:
    explicit ReportWatcher(QObject& link) { link.installEventFilter(this); }

    int reports = 0;
    int runInside = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MetaCall || _inReport) {
            return false;
        }
        ++reports;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (_inReport) {
                    ++runInside;
                }
            },
            Qt::QueuedConnection);
        _inReport = true;
        watched->event(event);
        _inReport = false;
        return true;
    }

private:
    bool _inReport = false;
};

TEST_F(DeviceCommandsTest, NothingElseRunsInTheMiddleOfAProgressReport)
{
    ReportWatcher watcher(controller->deviceLink());
    run("Send Bank to Device…", deviceIn);
    EXPECT_GT(watcher.reports, 10);
    EXPECT_EQ(0, watcher.runInside);
}

// A Quit from another window waits for the Receive; a bank that arrives
// meanwhile is shown, and Quit asks about it.
TEST_F(DeviceCommandsTest, ABankArrivingWhileQuitWaitsIsKeptAndAskedAbout)
{
    DocumentWindow* other = controller->newDocument();
    const auto sent = test::wellFormedAllDataFile();
    test::writeBytes(dir / "device.syx", sent);
    prompts.portAnswer = QString::fromStdString(deviceOut);
    constexpr int kAsked = 42;
    test::UserScript script({
        test::UserScript::trigger(menuAction(window, QStringLiteral("Receive Bank from Device…")),
                                  "Receive in the first window"),
        {"Quit from the other window, then the device sends",
         [this] { return waitingForTheDump(); },
         [this, other] {
             menuAction(other, QStringLiteral("Quit"))->trigger();
             tell("send " + (dir / "device.syx").string() + " 31250");
         }},
        {"Quit asks about the received bank",
         [this] { return prompts.asked.contains(QStringLiteral("Untitled 2")); },
         [] { QApplication::exit(kAsked); }},
    });
    QTimer::singleShot(30000, [] { QApplication::exit(1); });
    ASSERT_EQ(kAsked, QApplication::exec());
    QApplication::processEvents(); // the question is answered Cancel: the app stays
    ASSERT_EQ(1, controller->windows().size());
    EXPECT_EQ(sent, test::fileContent(controller->windows().front()->document()));
}

// With the app's own dialogs, answered as a user clicks them; the bank's name
// reads as markup, which no dialog may show as such.
class DeviceMenu : public WithDevice<DialogPrompts>
{
public:
    DeviceMenu() { bankName = "<i>bank.syx"; }

    void start(const char* command)
    {
        QAction* action = menuAction(window, QString::fromUtf8(command));
        action->trigger();
        EXPECT_FALSE(action->isEnabled()); // until the command ends
    }

    // The dialog on screen that has a child of this kind, once it shows.
    template <typename Child>
    QDialog* shown()
    {
        QDialog* dialog = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (dialog = test::shownDialogWith<Child>()); }));
        EXPECT_EQ("", test::markupShown());
        return dialog;
    }

    void choose(const std::string& port)
    {
        QDialog* choice = shown<QComboBox>();
        ASSERT_NE(nullptr, choice);
        choice->findChild<QComboBox*>()->setCurrentText(QString::fromStdString(port));
        choice->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }

    void dismiss(const QString& message)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return test::shownMessageBox(message); }));
        EXPECT_EQ("", test::markupShown());
        test::clickButton(test::shownMessageBox(message), QStringLiteral("OK"));
    }

    QDialog* progressOnceListening()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return waitingForTheDump(); }));
        return shown<QProgressBar>();
    }
};

// Each way a Device command ends, by the user's steps from its start.
struct Ending
{
    const char* what;
    std::function<void(DeviceMenu&)> steps;
};

void PrintTo(const Ending& ending, std::ostream* out)
{
    *out << ending.what;
}

class DeviceCommandEnding : public DeviceMenu, public ::testing::WithParamInterface<Ending>
{
public:
    static const std::vector<Ending> endings;
};

const std::vector<Ending> DeviceCommandEnding::endings = {
    {"sent",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[0]);
         menu.choose(menu.deviceIn);
     }},
    {"refused",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[1]);
         menu.choose(menu.deviceOut);
         menu.progressOnceListening();
         menu.tell("send-junk 10244");
         menu.dismiss(QStringLiteral("No bank was received"));
     }},
    {"cancelled",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[1]);
         menu.choose(menu.deviceOut);
         clickCancel(*menu.progressOnceListening());
     }},
    {"progress of a send closed",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[0]);
         menu.choose(menu.deviceIn);
         test::endDialog(menu.shown<QProgressBar>(), test::DialogEnd::Closed);
         menu.dismiss(QStringLiteral("was not sent"));
     }},
    {"progress of a receive closed by the window manager",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[1]);
         menu.choose(menu.deviceOut);
         test::endDialog(menu.progressOnceListening(), test::DialogEnd::ClosedByWindowManager);
     }},
    {"progress of a comparison closed by the window manager",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[2]);
         menu.choose(menu.deviceOut);
         test::endDialog(menu.progressOnceListening(), test::DialogEnd::ClosedByWindowManager);
     }},
    {"port choice cancelled",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[0]);
         menu.shown<QComboBox>()
             ->findChild<QDialogButtonBox*>()
             ->button(QDialogButtonBox::Cancel)
             ->click();
     }},
    {"port choice closed by the window manager",
     [](DeviceMenu& menu) {
         menu.start(kDeviceCommands[2]);
         test::endDialog(menu.shown<QComboBox>(), test::DialogEnd::ClosedByWindowManager);
     }},
    {"no port",
     [](DeviceMenu& menu) {
         menu.device.reset();
         menu.start(kDeviceCommands[0]);
         menu.dismiss(QStringLiteral("The device cannot be reached."));
     }},
};

// The Device menu comes back, and nothing holds the window: Quit closes it.
TEST_P(DeviceCommandEnding, LeavesTheDeviceMenuReadyAndTheWindowFree)
{
    DocumentWindow* other = controller->newDocument();
    GetParam().steps(*this);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }, 30000));
    for (DocumentWindow* each : {window, other}) {
        for (const char* command : kDeviceCommands) {
            EXPECT_TRUE(menuAction(each, QString::fromUtf8(command))->isEnabled()) << command;
        }
    }
    QTimer::singleShot(0, controller.get(), &DocumentController::quit);
    QTimer::singleShot(10000, [] { QApplication::exit(1); });
    EXPECT_EQ(0, QApplication::exec());
    EXPECT_TRUE(controller->windows().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Endings, DeviceCommandEnding,
                         ::testing::ValuesIn(DeviceCommandEnding::endings));

TEST(DeviceCommandsWithoutMidi, SayPlainlyThatThereIsNoMidiSystem)
{
    const std::string server = std::getenv("JACK_DEFAULT_SERVER");
    ::setenv("JACK_DEFAULT_SERVER", (server + "-none").c_str(), 1);
    ::setenv("ALSA_CONFIG_PATH", A3_NO_SEQUENCER_CONF, 1);
    test::TempDir dir;
    test::FakePrompts prompts;
    AppController appController{{}, [](const QUrl&) { return false; }};
    DocumentController controller{appController, prompts};
    DocumentWindow* window = controller.newDocument();
    menuAction(window, QStringLiteral("Send Bank to Device…"))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.deviceLink().isBusy(); }));
    EXPECT_EQ(QStringList{"The device cannot be reached.|No MIDI system found: the ALSA "
                          "sequencer is not available and no JACK server is running."},
              prompts.errors);
    ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    ::unsetenv("ALSA_CONFIG_PATH");
    EXPECT_EQ(true, test::outcomeOf([&](auto done) { controller.closeAllDocuments(done); }));
}

} // namespace
} // namespace a3
