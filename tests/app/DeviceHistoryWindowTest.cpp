// The Device History window over a Received folder of its own: the banks
// listed newest first with what changed, one or two selected, opened, and a
// bank received while it is open.

#include "DeviceHistoryWindow.h"

#include "../document/QtPrinters.h"
#include "AppTestSupport.h"
#include "DeviceHistoryModel.h"
#include "DocumentFixtures.h"
#include "FakePrompts.h"
#include "Library.h"
#include "LibraryWindow.h"
#include "PatchText.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::qPath;
namespace fs = std::filesystem;

class DeviceHistoryWindowTest : public test::WithWindows<test::FakePrompts>
{
protected:
    void SetUp() override
    {
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            qputenv(variable, QFile::encodeName(qPath(dir / variable)));
        }
    }

    fs::path received() { return controller.services().library().receivedFolder(); }
    // A file of the Received folder that changed last at the local time given.
    void writeAt(const std::string& name, std::span<const std::uint8_t> bytes, const QString& time)
    {
        test::writeBytes(received() / name, bytes);
        const auto seconds = QDateTime::fromString(time, Qt::ISODate).toSecsSinceEpoch();
        fs::last_write_time(
            received() / name,
            std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds)));
    }
    static QStringList column(const DeviceHistoryWindow& window, int column)
    {
        QStringList texts;
        for (int row = 0; row < window.model().rowCount(); ++row) {
            texts << window.model().index(row, column).data().toString();
        }
        return texts;
    }
    static QList<QStringList> detailRows(const DeviceHistoryWindow& window)
    {
        QList<QStringList> rows;
        for (int row = 0; row < window.detail().topLevelItemCount(); ++row) {
            QStringList cells;
            for (int cell = 0; cell < window.detail().columnCount(); ++cell) {
                cells << window.detail().topLevelItem(row)->text(cell);
            }
            rows << cells;
        }
        return rows;
    }
};

TEST_F(DeviceHistoryWindowTest, SaysWhereBanksWillBeKeptBeforeTheFirst)
{
    DeviceHistoryWindow& history = *controller.showDeviceHistory();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return history.statusText().text().startsWith(QStringLiteral("No bank")); }));
    EXPECT_EQ(history.statusText().text(),
              QStringLiteral("No bank received yet: each bank the device sends is kept in “%1”.")
                  .arg(qPath(received())));
}

TEST_F(DeviceHistoryWindowTest, ShowsWhatChangedFromBankToBankAndOpensThem)
{
    // Patch 3 named and patch 5 playing the chain data (C2); then patch 3
    // renamed over new chain data; then patch 4 a new sound.
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    bank.setPatchName(u"Hall", 2);
    bank.setPatchName(u"Chained", 4);
    A3AllData record = bank.data();
    record.patch[4][0] = 130;
    bank.setData(record);
    const std::vector<std::uint8_t> first = bank.syxData();
    QString chainIds[] = {QString::fromStdString(chainId(bank.chainChecksum())), {}};
    bank.setPatchName(u"Hall 2", 2);
    record = bank.data();
    record.chain[0] ^= 1;
    bank.setData(record);
    const std::vector<std::uint8_t> second = bank.syxData();
    chainIds[1] = QString::fromStdString(chainId(bank.chainChecksum()));
    ASSERT_NE(chainIds[0], chainIds[1]);
    record = bank.data();
    record.patch[3].back() ^= 1;
    bank.setData(record);
    const std::vector<std::uint8_t> third = bank.syxData();

    // Names give the time; a file named otherwise has its own.
    const std::string notes = "<b>notes.txt";
    writeAt("2020-12-07 14.03.22.syx", first, QStringLiteral("2020-12-08T00:00:00"));
    writeAt("2020-12-07 14.04.10.syx", second, QStringLiteral("2020-12-08T00:00:00"));
    writeAt(notes, std::vector<std::uint8_t>(10), QStringLiteral("2020-12-07T14:04:30"));
    writeAt("2020-12-07 14.05.00.syx", third, QStringLiteral("2020-12-08T00:00:00"));

    // Library > Device History, in one window however often asked for.
    LibraryWindow& library = *controller.showLibrary();
    QAction* menu = test::menuAction(&library, QStringLiteral("Device History"));
    ASSERT_NE(menu, nullptr);
    menu->trigger();
    menu->trigger();
    DeviceHistoryWindow& history = *controller.showDeviceHistory();
    EXPECT_TRUE(history.isVisible());
    EXPECT_EQ(std::ranges::count_if(
                  QApplication::topLevelWidgets(),
                  [](QWidget* widget) { return qobject_cast<DeviceHistoryWindow*>(widget); }),
              1);

    EXPECT_EQ(column(history, DeviceHistoryModel::Received),
              (QStringList{"2020-12-07 14:05:00", "2020-12-07 14:04:30", "2020-12-07 14:04:10",
                           "2020-12-07 14:03:22"}));
    EXPECT_EQ(column(history, DeviceHistoryModel::ChainId),
              (QStringList{chainIds[1], "", chainIds[1], chainIds[0]}));
    EXPECT_EQ(column(history, DeviceHistoryModel::Changes),
              (QStringList{"1 patch differs", "Not a bank: wrong length: 10 bytes, expected 29198",
                           "2 patches and the chain data differ", "The first bank received"}));
    EXPECT_EQ(column(history, DeviceHistoryModel::File)[1], QString::fromStdString(notes));
    EXPECT_EQ(history.statusText().text(),
              QStringLiteral("3 banks received, kept in “%1”. 1 file there is not a bank.")
                  .arg(qPath(received())));

    EXPECT_FALSE(history.openButton().isEnabled());
    EXPECT_TRUE(history.summary().text().startsWith(QStringLiteral("Select a bank")));

    // One: against the bank before it, past the file that is none.
    test::selectRows(history.list(), {0});
    EXPECT_EQ(history.summary().text(),
              QStringLiteral("From the bank received 2020-12-07 14:04:10 to the one received "
                             "2020-12-07 14:05:00, 1 patch differs."));
    EXPECT_EQ(detailRows(history),
              (QList<QStringList>{{"4", "Metalic", "Metalic", "Sound changed"}}));
    test::selectRows(history.list(), {1});
    EXPECT_EQ(history.summary().textFormat(), Qt::PlainText);
    EXPECT_EQ(history.summary().text(),
              QString::fromStdString("“" + notes +
                                     "” is not a bank: wrong length: 10 bytes, expected 29198"));
    EXPECT_FALSE(history.openButton().isEnabled());
    EXPECT_TRUE(detailRows(history).isEmpty());

    // Two: the one against the other, the older first.
    test::selectRows(history.list(), {3, 0});
    const QString firstToLast =
        QStringLiteral("From the bank received 2020-12-07 14:03:22 to the one received "
                       "2020-12-07 14:05:00, 3 patches and the chain data differ.");
    EXPECT_EQ(history.summary().text(), firstToLast);
    EXPECT_EQ(
        detailRows(history),
        (QList<QStringList>{
            {"", "Chain ID: " + chainIds[0], "Chain ID: " + chainIds[1], "Chain data differs"},
            {"3", "Hall   ", "Hall 2 ", "Renamed only"},
            {"4", "Metalic", "Metalic", "Sound changed"},
            {"5", "Chained", "Chained", "Sound changed: it plays the chain data"}}));

    // A bank received meanwhile comes first at once; the selection stays.
    bank.setPatchName(u"New", 5);
    const Result<NewFile> kept = controller.services().library().keepReceivedBank(bank.syxData());
    ASSERT_TRUE(kept.ok());
    ASSERT_EQ(history.model().rowCount(), 5);
    EXPECT_EQ(column(history, DeviceHistoryModel::File)[0],
              QString::fromStdString(kept->path.filename().native()));
    EXPECT_EQ(column(history, DeviceHistoryModel::Changes)[0], QStringLiteral("1 patch differs"));
    EXPECT_EQ(history.summary().text(), firstToLast);

    // Open: each selected bank in its window, as the device sent it, which
    // is never saved over: the history stays what was received.
    ASSERT_TRUE(history.openButton().isEnabled());
    QTest::mouseClick(&history.openButton(), Qt::LeftButton);
    QTest::mouseClick(&history.openButton(), Qt::LeftButton); // the same windows again
    ASSERT_EQ(controller.windows().size(), 2);
    for (const char* name : {"2020-12-07 14.03.22.syx", "2020-12-07 14.05.00.syx"}) {
        EXPECT_EQ(controller.windowForFile(qPath(received() / name)), nullptr) << name;
    }
    const auto before = test::readBytes(received() / "2020-12-07 14.05.00.syx");
    for (DocumentWindow* opened : controller.windows()) {
        EXPECT_TRUE(opened->document().displayName().endsWith(QStringLiteral(".syx — received")))
            << opened->document().displayName().toStdString();
        EXPECT_FALSE(opened->isWindowModified()); // closing it loses nothing
        EXPECT_FALSE(opened->document().suggestedPath().startsWith(qPath(received())));
    }
    ASSERT_TRUE(controller.windows().front()->document().renamePatch(0, QStringLiteral("Edited")));
    prompts.saveLocation = qPath(dir / "kept.syx");
    controller.windows().front()->files().save([](bool) {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(dir / "kept.syx"); }));
    EXPECT_EQ(test::readBytes(received() / "2020-12-07 14.05.00.syx"), before);
}

} // namespace
} // namespace a3
