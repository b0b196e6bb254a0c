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
#include "LibraryPlaces.h"
#include "PacedSender.h"
#include "Watchdog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

namespace a3 {
namespace {

using namespace std::chrono_literals;
using test::menuAction;
using test::qPath;

// The progress dialog on screen, told apart by its bar.
QDialog* shownProgress()
{
    return test::shownDialog<QDialog>([](QDialog& d) { return d.findChild<QProgressBar*>(); });
}

void clickCancel(QDialog* progress)
{
    progress->findChild<QPushButton*>()->click();
}

void waitForProgress(QDialog& progress, int bytes)
{
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return progress.findChild<QProgressBar*>()->value() >= bytes; }));
}

const char* const kSend = "Send Bank to Device…";
const char* const kReceive = "Receive Bank from Device…";
const char* const kCompare = "Compare with Device…";

template <typename Prompts>
class WithDevice : public ::testing::Test
{
public:
    void SetUp() override
    {
        test::writeFactoryBank(dir / bankName);
        startDevice();
        openBank();
    }

    void TearDown() override
    {
        test::closeAllUnasked(*controller);
        controller.reset();
    }

    void startDevice()
    {
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ("ready", device->readLine(10s)) << device->err();
    }
    // At wire speed, timing out after 2 s, or ten times as fast.
    void openBank(bool wireSpeed = false)
    {
        controller = std::make_unique<DocumentController>(
            appController, prompts,
            wireSpeed ? DeviceLink::Settings{midi::kWireSpeed, 2s}
                      : DeviceLink::Settings{10 * midi::kWireSpeed, 20s});
        window = controller->openDocument(qPath(dir / bankName));
        ASSERT_NE(nullptr, window);
    }

    void tell(const std::string& command) { device->write(command + "\n"); }
    std::string answer() { return device->readLine(30s); }

    // Once the app listens for the device's dump.
    bool waitingForTheDump()
    {
        QDialog* progress = shownProgress();
        return progress &&
               progress->findChild<QLabel*>()->text().startsWith(QLatin1String("Start the"));
    }

    // Tells the device to go ahead once the app listens for its dump.
    void whenListening(const std::string& command)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return waitingForTheDump(); }));
        tell(command);
    }
    std::string sendFile() { return "send " + (dir / "device.syx").string() + " 31250"; }

    test::Watchdog watchdog{"a device command", 180s};
    test::TempDir dir;
    std::string bankName = "bank.syx";
    const std::string deviceName = "a3-app-device-" + std::to_string(::getpid());
    const std::string deviceIn = deviceName + " in:MIDI";
    const std::string deviceOut = deviceName + " out:MIDI";
    std::unique_ptr<test::ChildProcess> device;
    Prompts prompts;
    AppController appController{{}, [](const QUrl&) { return false; }};
    std::unique_ptr<DocumentController> controller;
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
};

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
            this, [this] { runInside += _inReport; }, Qt::QueuedConnection);
        _inReport = true;
        watched->event(event);
        _inReport = false;
        return true;
    }

private:
    bool _inReport = false;
};

// Nothing else runs in the middle of a progress report, either.
TEST_F(DeviceCommandsTest, SendsWhatSavingWouldWriteAndLeavesTheDocumentAsItWas)
{
    // A file with a stale chain checksum: one nibble of it changed.
    A3AllDataSource factory = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    std::vector<std::uint8_t> stale = factory.syxData();
    stale[kHeaderSize + 2 * (offsetof(A3AllData, checksum) - kHeaderSize)] ^= 0x0F;
    test::writeBytes(dir / bankName, stale);
    ASSERT_FALSE(window->document().reload());
    window->document().renamePatch(3, QStringLiteral("Sent"));
    const A3AllDataSource& bank = window->document().bank();
    const A3AllData stored = bank.data();
    ASSERT_NE(factory.chainChecksum(), bank.chainChecksum());

    ReportWatcher watcher(controller->deviceLink());
    run(kSend, deviceIn);
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    EXPECT_TRUE(prompts.offeredPorts.contains(QString::fromStdString(deviceIn)));
    EXPECT_EQ("received 29198", answer());
    tell("save " + (dir / "on-device.syx").string());
    EXPECT_EQ("saved 29198", answer());
    A3AllDataSource saving = bank;
    EXPECT_EQ(saving.syxData(), test::readBytes(dir / "on-device.syx"));
    const A3AllData after = bank.data();
    EXPECT_EQ(0, std::memcmp(&stored, &after, sizeof stored)); // checksums untouched
    EXPECT_TRUE(window->document().isModified());
    EXPECT_GT(watcher.reports, 10);
    EXPECT_EQ(0, watcher.runInside);

    run(kSend, deviceIn); // the port chosen last is offered first
    EXPECT_EQ(QString::fromStdString(deviceIn), prompts.preselectedPort);
}

// Every bank kept as received, by content.
std::multiset<std::vector<std::uint8_t>> keptBanks()
{
    std::multiset<std::vector<std::uint8_t>> banks;
    std::error_code ignored;
    const auto folder = library::LibraryPlaces::forCurrentUser().receivedFolder();
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        banks.insert(test::readBytes(entry.path()));
    }
    return banks;
}

TEST_F(DeviceCommandsTest, AReceivedBankOpensInANewEditedWindowAndACompareListsWhatDiffers)
{
    auto kept = keptBanks();
    const auto sent = test::wellFormedAllDataFile();
    test::writeBytes(dir / "device.syx", sent);
    run(kReceive, deviceOut, [&](QDialog&) { whenListening(sendFile()); });
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    ASSERT_EQ(2, controller->windows().size());
    DocumentWindow* received = controller->windows().back();
    EXPECT_EQ(sent, test::fileContent(received->document()));
    EXPECT_TRUE(received->document().isModified());
    EXPECT_TRUE(received->document().filePath().isEmpty());

    A3AllDataSource onDevice = window->document().bank();
    onDevice.setPatchName(u"Other", 4);
    onDevice.setPatchName(u"Second", 60);
    test::writeBytes(dir / "device.syx", onDevice.syxData());
    run(kCompare, deviceOut, [&](QDialog&) { whenListening(sendFile()); });
    ASSERT_EQ(1, prompts.comparisons.size());
    EXPECT_EQ(QStringLiteral("The device’s bank differs from “bank.syx” in 2 patches."),
              prompts.comparisons[0].first);
    EXPECT_EQ((QList<QStringList>{{"5", "Metal  ", "Other  "}, {"61", "Acoustc", "Second "}}),
              prompts.comparisons[0].second);
    EXPECT_EQ(2, controller->windows().size());

    // Both banks the device sent are kept as they came.
    kept.insert(sent);
    kept.insert(onDevice.syxData());
    EXPECT_EQ(keptBanks(), kept);
}

// Each way a transfer fails, as the user is told of it; no window opens. (A
// cancelled receive tells nothing: a Device command's endings below.)
struct Failure
{
    const char* what;
    bool send;
    bool wireSpeed;
    std::function<void(DeviceCommandsTest&, QDialog&)> whileItRuns;
    const char* error; // a pattern, %1 the port
};

void PrintTo(const Failure& failure, std::ostream* out)
{
    *out << failure.what;
}

const Failure kFailures[] = {
    {"a foreign message", false, false,
     [](auto& t, QDialog&) { t.whenListening("send-junk 10244"); },
     "No bank was received from “%1”\\.\\|Received 10244 bytes; an All-Data dump has 29198\\."},
    {"a dump cut short", false, true,
     [](auto& t, QDialog&) {
         test::writeBytes(t.dir / "device.syx", test::wellFormedAllDataFile());
         t.whenListening("send-truncated " + (t.dir / "device.syx").string() + " 12000 31250");
     },
     "No bank was received from “%1”\\.\\|No All-Data dump arrived within 2 seconds\\."},
    {"a send cancelled", true, false,
     [](auto&, QDialog& progress) {
         waitForProgress(progress, 4096);
         clickCancel(&progress);
     },
     "“bank\\.syx” was not sent to “%1”\\.\\|Sending was cancelled after \\d+ of 29198 bytes: the "
     "device got a partial dump\\."},
};

class TransferFailure : public DeviceCommandsTest, public ::testing::WithParamInterface<Failure>
{};

TEST_P(TransferFailure, IsReportedAndOpensNothing)
{
    const Failure& failure = GetParam();
    if (failure.wireSpeed) {
        openBank(true);
    }
    const std::string port = failure.send ? deviceIn : deviceOut;
    run(failure.send ? kSend : kReceive, port,
        [&](QDialog& progress) { failure.whileItRuns(*this, progress); });
    const QString portName = QRegularExpression::escape(QString::fromStdString(port));
    const QRegularExpression error(QRegularExpression::anchoredPattern(
        QString::fromUtf8(failure.error).replace(QStringLiteral("%1"), portName)));
    ASSERT_EQ(1, prompts.errors.size());
    EXPECT_TRUE(error.match(prompts.errors[0]).hasMatch()) << prompts.errors[0].toStdString();
    EXPECT_EQ(1, controller->windows().size());
}

INSTANTIATE_TEST_SUITE_P(DeviceCommands, TransferFailure, ::testing::ValuesIn(kFailures));

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
        {"Receive in the first window", {}, [this] { menuAction(window, kReceive)->trigger(); }},
        {"Quit from the other window, then the device sends",
         [this] { return waitingForTheDump(); },
         [this, other] {
             menuAction(other, QStringLiteral("Quit"))->trigger();
             tell(sendFile());
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

    // Starts the command; with a port, chooses it once asked.
    void start(const char* command, const std::string& port = {})
    {
        QAction* action = menuAction(window, QString::fromUtf8(command));
        action->trigger();
        EXPECT_FALSE(action->isEnabled()); // until the command ends
        if (!port.empty()) {
            QDialog* choice = shown<QComboBox>();
            choice->findChild<QComboBox*>()->setCurrentText(QString::fromStdString(port));
            choice->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        }
    }

    // The dialog on screen that has a child of this kind, once it shows.
    template <typename Child>
    QDialog* shown()
    {
        QDialog* dialog = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return (dialog = test::shownDialog<QDialog>(
                        [](QDialog& each) { return each.findChild<Child*>() != nullptr; }));
        }));
        EXPECT_EQ("", test::markupShown());
        return dialog;
    }

    void dismiss(const QString& message)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return test::shownMessageBox(message); }));
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

const Ending kEndings[] = {
    {"sent", [](DeviceMenu& menu) { menu.start(kSend, menu.deviceIn); }},
    {"cancelled",
     [](DeviceMenu& menu) {
         menu.start(kReceive, menu.deviceOut);
         clickCancel(menu.progressOnceListening());
     }},
    {"progress of a send closed",
     [](DeviceMenu& menu) {
         menu.start(kSend, menu.deviceIn);
         test::endDialog(menu.shown<QProgressBar>(), test::DialogEnd::Closed);
         menu.dismiss(QStringLiteral("was not sent"));
     }},
    {"progress of a receive closed by the window manager",
     [](DeviceMenu& menu) {
         menu.start(kReceive, menu.deviceOut);
         test::endDialog(menu.progressOnceListening(), test::DialogEnd::ClosedByWindowManager);
     }},
    {"port choice cancelled",
     [](DeviceMenu& menu) {
         menu.start(kSend);
         menu.shown<QComboBox>()
             ->findChild<QDialogButtonBox*>()
             ->button(QDialogButtonBox::Cancel)
             ->click();
     }},
    {"no port",
     [](DeviceMenu& menu) {
         menu.device.reset();
         menu.start(kSend);
         menu.dismiss(QStringLiteral("The device cannot be reached."));
     }},
};

class DeviceCommandEnding : public DeviceMenu, public ::testing::WithParamInterface<Ending>
{};

// The Device menu comes back, and nothing holds the window: Quit closes it.
TEST_P(DeviceCommandEnding, LeavesTheDeviceMenuReadyAndTheWindowFree)
{
    DocumentWindow* other = controller->newDocument();
    GetParam().steps(*this);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }, 30000));
    for (DocumentWindow* each : {window, other}) {
        for (const char* command : {kSend, kReceive, kCompare}) {
            EXPECT_TRUE(menuAction(each, QString::fromUtf8(command))->isEnabled()) << command;
        }
    }
    QTimer::singleShot(0, controller.get(), &DocumentController::quit);
    QTimer::singleShot(10000, [] { QApplication::exit(1); });
    EXPECT_EQ(0, QApplication::exec());
    EXPECT_TRUE(controller->windows().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Endings, DeviceCommandEnding, ::testing::ValuesIn(kEndings));

TEST(DeviceCommandsWithoutMidi, SayPlainlyThatThereIsNoMidiSystem)
{
    const std::string server = std::getenv("JACK_DEFAULT_SERVER");
    ::setenv("JACK_DEFAULT_SERVER", (server + "-none").c_str(), 1);
    ::setenv("ALSA_CONFIG_PATH", A3_NO_SEQUENCER_CONF, 1);
    test::FakePrompts prompts;
    AppController appController{{}, [](const QUrl&) { return false; }};
    DocumentController controller{appController, prompts};
    DocumentWindow* window = controller.newDocument();
    menuAction(window, QString::fromUtf8(kSend))->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.deviceLink().isBusy(); }));
    EXPECT_EQ(QStringList{"The device cannot be reached.|No MIDI system found: the ALSA "
                          "sequencer is not available and no JACK server is running."},
              prompts.errors);
    ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    ::unsetenv("ALSA_CONFIG_PATH");
    test::closeAllUnasked(controller);
}

} // namespace
} // namespace a3
