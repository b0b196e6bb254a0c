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
#include "SendSpeed.h"
#include "Watchdog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <span>
#include <unistd.h>

namespace a3 {
namespace {

using namespace std::chrono_literals;
using test::menuAction;
using test::qPath;

// Listing the MIDI ports can take seconds on a loaded machine.
constexpr int kDialogWait = 30000; // ms

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
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ("ready", device->readLine(10s)) << device->err();
        openBank();
    }

    void TearDown() override
    {
        test::closeAllUnasked(*controller);
        controller.reset();
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

    // Once the app listens for the device's dump: the progress dialog, told
    // apart by its bar, says so.
    bool waitingForTheDump()
    {
        QDialog* progress = test::shownDialog<QDialog>(
            [](QDialog& each) { return each.findChild<QProgressBar*>() != nullptr; });
        return progress &&
               progress->findChild<QLabel*>()->text().startsWith(QLatin1String("Start the"));
    }

    // Has the device send these bytes once the app listens for its dump.
    void sendWhenListening(const std::vector<std::uint8_t>& bytes)
    {
        test::writeBytes(dir / "device.syx", bytes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return waitingForTheDump(); }, kDialogWait));
        device->write("send " + (dir / "device.syx").string() + " 31250\n");
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
    std::unique_ptr<DocumentController> controller;
    DocumentWindow* window = nullptr;
};

class DeviceCommandsTest : public WithDevice<test::FakePrompts>
{
protected:
    // Runs a Device command with the port the test chose, until it ends; the
    // device sends these bytes, if any, once the app listens.
    void run(const char* command, const std::string& port,
             const std::vector<std::uint8_t>& deviceSends = {})
    {
        prompts.portAnswer = QString::fromStdString(port);
        menuAction(window, QString::fromUtf8(command))->trigger();
        if (!deviceSends.empty()) {
            sendWhenListening(deviceSends);
        }
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !controller->services().deviceLink().isBusy(); }, 60000));
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

// A send leaves the document as it was, and nothing else runs in the
// middle of a progress report. A received bank opens in a new edited window,
// a compare lists what differs, and both banks are kept as they came.
TEST_F(DeviceCommandsTest, SendsWhatSavingWouldWriteThenReceivesAndComparesBanks)
{
    // A file with a stale chain checksum: one nibble of it changed.
    A3AllDataSource factory = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    std::vector<std::uint8_t> stale = factory.syxData();
    stale[kHeaderSize + 2 * (offsetof(A3AllData, checksum) - kHeaderSize)] ^= 0x0F;
    test::writeBytes(dir / bankName, stale);
    ASSERT_TRUE(window->document().reload().ok());
    EXPECT_TRUE(window->document().renamePatch(3, QStringLiteral("Sent")));
    const A3AllDataSource& bank = window->document().bank();
    const A3AllData stored = bank.data();
    ASSERT_NE(factory.chainChecksum(), bank.chainChecksum());

    ReportWatcher watcher(controller->services().deviceLink());
    run(kSend, deviceIn);
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    EXPECT_TRUE(prompts.offeredPorts.contains(QString::fromStdString(deviceIn)));
    EXPECT_EQ("received 29198", device->readLine(30s));
    device->write("save " + (dir / "on-device.syx").string() + "\n");
    EXPECT_EQ("saved 29198", device->readLine(30s));
    A3AllDataSource saving = bank;
    EXPECT_EQ(saving.syxData(), test::readBytes(dir / "on-device.syx"));
    const A3AllData after = bank.data();
    EXPECT_EQ(0, std::memcmp(&stored, &after, sizeof stored)); // checksums untouched
    EXPECT_TRUE(window->document().isModified());
    EXPECT_GT(watcher.reports, 10);
    EXPECT_EQ(0, watcher.runInside);

    run(kSend, deviceIn); // the port chosen last is offered first
    EXPECT_EQ(QString::fromStdString(deviceIn), prompts.preselectedPort);

    auto kept = keptBanks();
    const auto sent = test::wellFormedAllDataFile();
    run(kReceive, deviceOut, sent);
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    ASSERT_EQ(2, controller->windows().size());
    DocumentWindow* received = controller->windows().back();
    EXPECT_EQ(sent, test::fileContent(received->document()));
    EXPECT_TRUE(received->document().isModified());
    EXPECT_TRUE(received->document().filePath().isEmpty());

    A3AllDataSource onDevice = window->document().bank();
    onDevice.setPatchName(u"Other", 4);
    onDevice.setPatchName(u"Second", 60);
    run(kCompare, deviceOut, onDevice.syxData());
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

// A Quit from another window waits for the Receive; a bank that arrives
// meanwhile is shown, and Quit asks about it.
TEST_F(DeviceCommandsTest, ABankArrivingWhileQuitWaitsIsKeptAndAskedAbout)
{
    DocumentWindow* other = controller->newDocument();
    const auto sent = test::wellFormedAllDataFile();
    prompts.portAnswer = QString::fromStdString(deviceOut);
    constexpr int kAsked = 42;
    test::UserScript script({
        {"Receive in the first window", {}, [this] { menuAction(window, kReceive)->trigger(); }},
        {"Quit from the other window, then the device sends",
         [this] { return waitingForTheDump(); },
         [this, other, &sent] {
             menuAction(other, QStringLiteral("Quit"))->trigger();
             sendWhenListening(sent);
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

// A dump that stopped short is offered for its patches to be recovered: those
// that arrived whole open over the factory bank's in a new bank named after
// the port, with what was recovered told over it.
TEST_F(DeviceCommandsTest, ADumpCutShortIsOfferedForItsPatchesToBeRecovered)
{
    A3AllDataSource sent = test::bankWith({{1, u"Arrived"}, {2, u"Cut"}});
    std::vector<std::uint8_t> dump = sent.syxData();
    // Half of patch 2 arrives, after the header, the chain data and patch 1 in nibbles.
    dump.resize(kHeaderSize + 2 * (offsetof(A3AllData, patch) - kHeaderSize) + 3 * kPatchSize);
    prompts.recoverAnswer = true;
    run(kReceive, deviceOut, dump);
    const QString port = QString::fromStdString(deviceOut);
    EXPECT_EQ(QStringList{"No bank was received from “" + port +
                          "”.|The dump stopped after 16585 of 29198 bytes."},
              prompts.recoveryOffers);
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->windows().size() == 2; }));
    const A3AllDataDocument& recovered = controller->windows().back()->document();
    EXPECT_EQ(port + " — recovered", recovered.displayName());
    EXPECT_TRUE(recovered.isModified());
    const A3AllDataSource factory = *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH);
    EXPECT_EQ(sent.patchDataAt(0), recovered.bank().patchDataAt(0));
    EXPECT_EQ(factory.patchDataAt(1), recovered.bank().patchDataAt(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.warnings.isEmpty(); }));
    EXPECT_TRUE(prompts.warnings[0].startsWith("Patches recovered from “" + port +
                                               "”|Recovered 1 of 100 patches: 1.\n"))
        << prompts.warnings[0].toStdString();
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
}

// The send's progress dialog, once a fragment has left.
QDialog* sendingProgress()
{
    QDialog* progress = nullptr;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            progress = test::shownDialog<QDialog>([](QDialog& each) {
                const auto* bar = each.findChild<QProgressBar*>();
                return bar && bar->value() > 0;
            });
            return progress != nullptr;
        },
        kDialogWait));
    return progress;
}

// The time left that the progress of a send tells ("1:14 left"), in whole
// seconds, fits the bytes sent at this rate: the fragment reported has just
// left, less than a second late.
void expectTimeLeftAt(double bytesPerSecond, const QDialog& progress)
{
    const int sent = progress.findChild<QProgressBar*>()->value();
    const QString text = progress.findChild<QLabel*>()->text();
    const auto left = QRegularExpression(QStringLiteral("\n\n(\\d+):(\\d\\d) left$")).match(text);
    ASSERT_TRUE(left.hasMatch()) << text.toStdString();
    const int seconds = left.captured(1).toInt() * 60 + left.captured(2).toInt();
    const double exact = (29198.0 - sent + 256) / bytesPerSecond;
    EXPECT_LE(seconds, exact) << text.toStdString();
    EXPECT_GT(seconds, exact - 2) << text.toStdString();
}

// The speed chosen reaches the send, whose progress tells the time left at
// it, and the next Send offers that port the speed chosen last for it. On a
// link paced so that the sends take half a minute, one and two: the time left
// shows its minutes.
TEST_F(DeviceCommandsTest, SendsAtTheSpeedChosenAndOffersItAgainForThatPort)
{
    constexpr double kPace = 960;
    controller = std::make_unique<DocumentController>(appController, prompts,
                                                      DeviceLink::Settings{kPace, 2s});
    window = controller->openDocument(qPath(dir / bankName));
    const QString port = QString::fromStdString(deviceIn);
    prompts.portAnswer = port;
    std::map<QString, SendSpeed> chosen;
    for (const SendSpeed speed : {SendSpeed::Quarter, SendSpeed::Half, SendSpeed::Full}) {
        SCOPED_TRACE(percentOf(speed));
        prompts.speedAnswer = speed;
        menuAction(window, QString::fromUtf8(kSend))->trigger();
        QDialog* progress = sendingProgress();
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(prompts.offeredSpeeds, chosen);
        expectTimeLeftAt(kPace * percentOf(speed) / 100, *progress);
        progress->reject();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !controller->services().deviceLink().isBusy(); }, 30000));
        chosen[port] = speed;
    }
}

// Each speed is its share of the link's pace: the time gone and the time
// left of each report add up to the whole dump's time at that share.
TEST_F(DeviceCommandsTest, ALinkSendsAtItsPaceTimesTheShareOfTheSpeed)
{
    constexpr double kPace = 10 * midi::kWireSpeed;
    DeviceLink link({kPace, 2s});
    for (const SendSpeed speed : kSendSpeeds) {
        SCOPED_TRACE(percentOf(speed));
        std::vector<midi::TransferProgress> reports;
        bool finished = false;
        link.send(
            QString::fromStdString(deviceIn), speed, test::wellFormedAllDataFile(),
            [&](const midi::TransferProgress& now) {
                reports.push_back(now);
                if (reports.size() == 3) {
                    link.cancel();
                }
            },
            [&](const midi::TransferResult&) { finished = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 30000));
        ASSERT_GE(reports.size(), 3u);
        const double whole = 29198 * 1000 / (kPace * percentOf(speed) / 100);
        for (const midi::TransferProgress& report : std::span(reports).first(3)) {
            EXPECT_NEAR(static_cast<double>((report.elapsed + report.remaining).count()), whole,
                        2.0);
        }
    }
}

// With the app's own dialogs, answered as a user clicks them; the bank's name
// reads as markup, which no dialog may show as such.
class DeviceMenu : public WithDevice<DialogPrompts>
{
public:
    DeviceMenu() { bankName = "<i>bank.syx"; }

    // Starts the command; with a port, chooses it once asked and answers.
    void start(const char* command, const std::string& port = {},
               QDialogButtonBox::StandardButton answer = QDialogButtonBox::Ok)
    {
        QAction* action = menuAction(window, QString::fromUtf8(command));
        action->trigger();
        EXPECT_FALSE(action->isEnabled()); // until the command ends
        if (!port.empty()) {
            QDialog* choice = shown<QComboBox>();
            choice->findChild<QComboBox*>(QStringLiteral("port"))
                ->setCurrentText(QString::fromStdString(port));
            choice->findChild<QDialogButtonBox*>()->button(answer)->click();
        }
    }

    // The dialog on screen that has a child of this kind, once it shows.
    template <typename Child>
    QDialog* shown()
    {
        QDialog* dialog = nullptr;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return (dialog = test::shownDialog<QDialog>(
                            [](QDialog& each) { return each.findChild<Child*>() != nullptr; }));
            },
            kDialogWait));
        EXPECT_EQ("", test::markupShown());
        return dialog;
    }

    // The error on screen, its message and reason matching the pattern (%1
    // the port), then gone by OK.
    void dismiss(const char* pattern, const std::string& port = {})
    {
        const QRegularExpression error(
            QRegularExpression::anchoredPattern(QString::fromUtf8(pattern).replace(
                QStringLiteral("%1"), QRegularExpression::escape(QString::fromStdString(port)))));
        QMessageBox* box = nullptr;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return (box = test::shownDialog<QMessageBox>()); }, kDialogWait));
        EXPECT_EQ("", test::markupShown());
        const QString shown = box->text() + '|' + box->informativeText();
        EXPECT_TRUE(error.match(shown).hasMatch()) << shown.toStdString();
        test::clickButton(box, QStringLiteral("OK"));
    }

    QDialog* progressOnceListening()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return waitingForTheDump(); }, kDialogWait));
        return shown<QProgressBar>();
    }
};

// The Send dialog offers each port the speed chosen last for it, the full
// speed for a port not sent to yet; the speed chosen reaches the send.
TEST_F(DeviceMenu, TheSendDialogOffersTheSpeedChosenLastForEachPort)
{
    openBank(true);
    const std::string otherName = deviceName + "-2";
    test::ChildProcess other({A3_SIMULATED_DEVICE_PATH, otherName});
    ASSERT_EQ("ready", other.readLine(10s)) << other.err();
    const QString port = QString::fromStdString(deviceIn);
    const QString otherPort = QString::fromStdString(otherName + " in:MIDI");
    const auto speedsShown = [](QComboBox& speed) {
        QStringList items;
        for (int index = 0; index < speed.count(); ++index) {
            items.append(speed.itemText(index));
        }
        return items;
    };

    start(kSend);
    QDialog* choice = shown<QComboBox>();
    auto* ports = choice->findChild<QComboBox*>(QStringLiteral("port"));
    auto* speed = choice->findChild<QComboBox*>(QStringLiteral("speed"));
    EXPECT_EQ(speedsShown(*speed),
              (QStringList{"100 % (3125 bytes/s)", "50 % (1563 bytes/s)", "25 % (781 bytes/s)"}));
    ports->setCurrentText(port);
    EXPECT_EQ(speed->currentIndex(), 0);
    speed->setCurrentIndex(2);
    choice->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    QDialog* progress = sendingProgress();
    ASSERT_NE(progress, nullptr);
    expectTimeLeftAt(midi::kWireSpeed / 4, *progress);
    progress->findChild<QPushButton*>()->click();
    dismiss("“<i>bank\\.syx” was not sent to “%1”\\.\\|Sending was cancelled after \\d+ of 29198 "
            "bytes: the device got a partial dump\\.",
            deviceIn);

    start(kSend);
    choice = shown<QComboBox>();
    ports = choice->findChild<QComboBox*>(QStringLiteral("port"));
    speed = choice->findChild<QComboBox*>(QStringLiteral("speed"));
    EXPECT_EQ(ports->currentText(), port);
    EXPECT_EQ(speed->currentText(), "25 % (781 bytes/s)");
    ports->setCurrentText(otherPort);
    EXPECT_EQ(speed->currentText(), "100 % (3125 bytes/s)");
    ports->setCurrentText(port);
    EXPECT_EQ(speed->currentText(), "25 % (781 bytes/s)");
    choice->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->services().deviceLink().isBusy(); },
                                kDialogWait));
}

// While it lives, this process finds neither the ALSA sequencer nor a JACK
// server.
class NoMidiSystem
{
public:
    NoMidiSystem()
    {
        ::setenv("JACK_DEFAULT_SERVER", (_server + "-none").c_str(), 1);
        ::setenv("ALSA_CONFIG_PATH", A3_NO_SEQUENCER_CONF, 1);
    }
    ~NoMidiSystem()
    {
        ::setenv("JACK_DEFAULT_SERVER", _server.c_str(), 1);
        ::unsetenv("ALSA_CONFIG_PATH");
    }
    NoMidiSystem(const NoMidiSystem&) = delete;
    NoMidiSystem& operator=(const NoMidiSystem&) = delete;

private:
    const std::string _server = std::getenv("JACK_DEFAULT_SERVER");
};

// Each way a Device command ends, by the user's steps from its start, with
// the error the user is told of; no window opens.
struct Ending
{
    const char* what;
    std::function<void(DeviceMenu&)> steps;
    bool wireSpeed = false; // timing out after 2 s
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
         menu.progressOnceListening()->findChild<QPushButton*>()->click();
     }},
    {"progress of a send closed midway",
     [](DeviceMenu& menu) {
         menu.start(kSend, menu.deviceIn);
         QDialog* progress = menu.shown<QProgressBar>();
         ASSERT_TRUE(QTest::qWaitFor(
             [&] { return progress->findChild<QProgressBar*>()->value() >= 4096; }));
         test::endDialog(progress, test::DialogEnd::Closed);
         menu.dismiss("“<i>bank\\.syx” was not sent to “%1”\\.\\|Sending was cancelled after \\d+ "
                      "of 29198 bytes: the device got a partial dump\\.",
                      menu.deviceIn);
     }},
    {"progress of a receive closed by the window manager",
     [](DeviceMenu& menu) {
         menu.start(kReceive, menu.deviceOut);
         test::endDialog(menu.progressOnceListening(), test::DialogEnd::ClosedByWindowManager);
     }},
    {"port choice cancelled",
     [](DeviceMenu& menu) { menu.start(kSend, menu.deviceIn, QDialogButtonBox::Cancel); }},
    {"input choice cancelled",
     [](DeviceMenu& menu) { menu.start(kReceive, menu.deviceOut, QDialogButtonBox::Cancel); }},
    {"no port",
     [](DeviceMenu& menu) {
         menu.device.reset();
         menu.start(kSend);
         menu.dismiss("The device cannot be reached\\.\\|The MIDI system offers no output to send "
                      "to\\.");
     }},
    {"no MIDI system",
     [](DeviceMenu& menu) {
         const NoMidiSystem none;
         menu.start(kSend);
         menu.dismiss("The device cannot be reached\\.\\|No MIDI system found: the ALSA sequencer "
                      "is not available and no JACK server is running\\.");
     }},
    {"no MIDI system left once the input is chosen",
     [](DeviceMenu& menu) {
         menu.start(kReceive);
         QDialog* choice = menu.shown<QComboBox>();
         choice->findChild<QComboBox*>(QStringLiteral("port"))
             ->setCurrentText(QString::fromStdString(menu.deviceOut));
         const NoMidiSystem none;
         choice->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
         menu.dismiss("No bank was received from “%1”\\.\\|No MIDI system found: the ALSA "
                      "sequencer is not available and no JACK server is running\\.",
                      menu.deviceOut);
     }},
    {"a foreign message",
     [](DeviceMenu& menu) {
         auto message = test::wellFormedAllDataFile();
         message.resize(10244);
         message.back() = 0xF7;
         menu.start(kReceive, menu.deviceOut);
         menu.sendWhenListening(message);
         menu.dismiss("No bank was received from “%1”\\.\\|The message received is not an All-Data "
                      "dump: wrong length: 10244 bytes, expected 29198\\.",
                      menu.deviceOut);
     }},
    {"a dump cut short",
     [](DeviceMenu& menu) {
         auto dump = test::wellFormedAllDataFile();
         dump.resize(12000);
         menu.start(kReceive, menu.deviceOut);
         // Busy until the port is open: there is nothing to count yet.
         const auto* ready = menu.shown<QProgressBar>();
         EXPECT_TRUE(
             ready->findChild<QLabel*>()->text().startsWith(QLatin1String("Getting ready")));
         EXPECT_EQ(ready->findChild<QProgressBar*>()->maximum(), 0);
         menu.sendWhenListening(dump);
         const QString arrived = QStringLiteral("Receiving the dump from “%1”…\n\n12000 of 29198 "
                                                "bytes, 0:05 left")
                                     .arg(QString::fromStdString(menu.deviceOut));
         QDialog* progress = menu.shown<QProgressBar>();
         EXPECT_TRUE(QTest::qWaitFor(
             [&] { return progress->findChild<QLabel*>()->text() == arrived; }, kDialogWait))
             << progress->findChild<QLabel*>()->text().toStdString();
         EXPECT_EQ(progress->findChild<QProgressBar*>()->maximum(), 29198);
         EXPECT_EQ(progress->findChild<QProgressBar*>()->value(), 12000);
         menu.dismiss("No bank was received from “%1”\\.\\|The dump stopped after 12000 of 29198 "
                      "bytes\\.",
                      menu.deviceOut);
     },
     true},
    {"a dump broken off by another message",
     [](DeviceMenu& menu) {
         auto bytes = test::wellFormedAllDataFile();
         bytes.resize(12000);
         bytes.insert(bytes.end(), {0x90, 0x3C, 0x40});
         menu.start(kReceive, menu.deviceOut);
         menu.sendWhenListening(bytes);
         const auto* bar = menu.shown<QProgressBar>()->findChild<QProgressBar*>();
         EXPECT_TRUE(QTest::qWaitFor([&] { return bar->maximum() == 29198; }, kDialogWait));
         // Back to waiting for a dump to begin, until the time-out.
         EXPECT_TRUE(QTest::qWaitFor([&] { return menu.waitingForTheDump(); }, kDialogWait));
         EXPECT_EQ(bar->maximum(), 0);
         menu.dismiss("No bank was received from “%1”\\.\\|No All-Data dump arrived within 2 "
                      "seconds\\.",
                      menu.deviceOut);
     },
     true},
    {"data without end while comparing",
     [](DeviceMenu& menu) {
         menu.start(kCompare, menu.deviceOut);
         menu.progressOnceListening();
         menu.device->write("send-unended 312500\n");
         EXPECT_EQ(menu.device->readLine(10s), "sending");
         menu.dismiss("No bank was received from “%1”\\.\\|More than 29198 bytes arrived without "
                      "the end of a dump\\.",
                      menu.deviceOut);
         menu.device->write("stop\n");
         EXPECT_TRUE(menu.device->readLine(10s).starts_with("stopped "));
     }},
};

class DeviceCommandEnding : public DeviceMenu, public ::testing::WithParamInterface<Ending>
{};

// The Device menu comes back, and nothing holds the window: Quit closes it.
TEST_P(DeviceCommandEnding, LeavesTheDeviceMenuReadyAndTheWindowFree)
{
    if (GetParam().wireSpeed) {
        openBank(true);
    }
    DocumentWindow* other = controller->newDocument();
    GetParam().steps(*this);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->questions().any(); }, 30000));
    EXPECT_EQ(2, controller->windows().size());
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

} // namespace
} // namespace a3
