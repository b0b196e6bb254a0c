// The Device menu against the simulated device on the private JACK server:
// the commands as a user runs them, with the port chosen by the test and the
// progress dialog the app shows.

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

#include <QProgressDialog>
#include <QPushButton>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

namespace a3 {
namespace {

using namespace std::chrono_literals;
using test::qPath;

void clickCancel(QProgressDialog& progress)
{
    progress.findChild<QPushButton*>()->click();
}

class DeviceCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        A3AllDataSource bank{std::filesystem::path(A3_FACTORY_BANK_PATH)};
        test::writeBytes(dir / "bank.syx", bank.syxData());
        device = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{A3_SIMULATED_DEVICE_PATH, deviceName});
        ASSERT_EQ("ready", device->readLine(10s)) << device->err();
        window = controller->openDocument(qPath(dir / "bank.syx"));
        ASSERT_NE(nullptr, window);
    }

    void TearDown() override
    {
        for (DocumentWindow* open : controller->windows()) {
            open->document().updateChangeCount(Document::ChangeCleared);
        }
        EXPECT_EQ(true, test::outcomeOf([&](auto done) { controller->closeAllDocuments(done); }));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        controller.reset();
    }

    void tell(const std::string& command) { device->write(command + "\n"); }
    std::string answer() { return device->readLine(30s); }

    // Runs a Device command with the port the test chose, until it ends.
    void run(const char* command, const std::string& port,
             const std::function<void(QProgressDialog&)>& whileItRuns = {})
    {
        prompts.portAnswer = QString::fromStdString(port);
        test::menuAction(window, QString::fromUtf8(command))->trigger();
        if (whileItRuns) {
            QProgressDialog* progress = nullptr;
            ASSERT_TRUE(QTest::qWaitFor([&] {
                progress = window->findChild<QProgressDialog*>();
                return progress && progress->isVisible();
            }));
            whileItRuns(*progress);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->deviceLink().isBusy(); }, 60000));
        QApplication::processEvents();
    }

    // Tells the device to go ahead once the app listens for its dump.
    std::function<void(QProgressDialog&)> deviceSends(const std::string& command)
    {
        return [this, command](QProgressDialog& progress) {
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return progress.labelText().startsWith(QLatin1String("Start the")); }));
            tell(command);
        };
    }

    std::vector<std::uint8_t> savedByDevice()
    {
        tell("save " + (dir / "on-device.syx").string());
        EXPECT_EQ("saved 29198", answer());
        return test::readBytes(dir / "on-device.syx");
    }

    test::Watchdog watchdog{"a device command", 180s};
    test::TempDir dir;
    const std::string deviceName = "a3-app-device-" + std::to_string(::getpid());
    const std::string deviceIn = deviceName + " in:MIDI";
    const std::string deviceOut = deviceName + " out:MIDI";
    std::unique_ptr<test::ChildProcess> device;
    test::FakePrompts prompts;
    AppController appController{{}, {}, [](const QUrl&) { return false; }};
    std::unique_ptr<DocumentController> controller = std::make_unique<DocumentController>(
        appController, prompts, DeviceLink::Settings{10 * midi::kWireSpeed, 20s});
    DocumentWindow* window = nullptr;
};

TEST_F(DeviceCommandsTest, SendsWhatSavingWouldWriteAndLeavesTheDocumentAsItWas)
{
    A3AllDataSource& bank = window->document().dataSource();
    window->document().tableModel().setObjectValue(QStringLiteral("Sent"), QStringLiteral("name"),
                                                   3);
    A3AllData stored = bank.data();
    stored.checksum[0] ^= 0xFF; // as a file with a stale chain checksum has it
    bank.setData(stored);

    run("Send Bank to Device…", deviceIn);
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('\n').toStdString();
    EXPECT_TRUE(prompts.offeredPorts.contains(QString::fromStdString(deviceIn)));
    EXPECT_EQ("received 29198", answer());
    A3AllDataSource saving = bank;
    EXPECT_EQ(saving.syxData(), savedByDevice());
    const A3AllData after = bank.data();
    EXPECT_EQ(0, std::memcmp(&stored, &after, sizeof stored)); // checksums untouched
    EXPECT_TRUE(window->document().isDocumentEdited());

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
    EXPECT_EQ(sent, received->document().dataSource().syxData());
    EXPECT_TRUE(received->document().isDocumentEdited());
    EXPECT_TRUE(received->document().fileURL().isEmpty());
}

TEST_F(DeviceCommandsTest, ComparingReportsExactlyThePatchesThatDiffer)
{
    A3AllDataSource onDevice = window->document().dataSource();
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
    run("Send Bank to Device…", deviceIn, [](QProgressDialog& progress) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return progress.value() >= 4096; }));
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
    run("Send Bank to Device…", deviceIn, [&](QProgressDialog& progress) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return progress.value() >= 2048; }));
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
    run("Receive Bank from Device…", deviceOut, [](QProgressDialog& progress) {
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
    run("Send Bank to Device…", deviceIn, [&](QProgressDialog& progress) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return progress.value() >= 2048; }));
        server->kill();
    });
    EXPECT_EQ(QStringList{QString::fromStdString("“bank.syx” was not sent to “" + deviceIn +
                                                 "”.|The JACK server stopped during the "
                                                 "transfer.")},
              prompts.errors);
    device.reset();
    server.reset();
}

TEST(DeviceCommandsWithoutMidi, SayPlainlyThatThereIsNoMidiSystem)
{
    const std::string server = std::getenv("JACK_DEFAULT_SERVER");
    ::setenv("JACK_DEFAULT_SERVER", (server + "-none").c_str(), 1);
    ::setenv("ALSA_CONFIG_PATH", A3_NO_SEQUENCER_CONF, 1);
    test::TempDir dir;
    test::FakePrompts prompts;
    AppController appController{{}, {}, [](const QUrl&) { return false; }};
    DocumentController controller{appController, prompts};
    DocumentWindow* window = controller.newDocument();
    test::menuAction(window, QStringLiteral("Send Bank to Device…"))->trigger();
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
