// What a user says of a sound, end to end with the real event loop and
// database: said in a bank window or the Library, shown in both, following
// the sound under another name and into another bank, undone from the
// Library, and a change that cannot be written shown as not made.

#include "../library/FaultyVfs.h"
#include "AppTestSupport.h"
#include "BankView.h"
#include "DocumentController.h"
#include "DocumentFixtures.h"
#include "DocumentWindow.h"
#include "FakePrompts.h"
#include "Library.h"
#include "LibraryModel.h"
#include "LibraryWindow.h"
#include "PatchNameDelegate.h"
#include "PatchTableModel.h"
#include "SetsPanel.h"
#include "Sounds.h"
#include "SoundsDatabase.h"
#include "TableView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

namespace a3 {
namespace {

using test::qPath;

// A bank of the fallback sound but for the patches given, each named, with
// the last byte that makes its sound.
std::vector<std::uint8_t> bankOf(std::initializer_list<std::pair<int, std::u16string>> patches,
                                 std::uint8_t sound)
{
    A3AllDataSource bank = A3AllDataSource::fallbackBank();
    for (const auto& [number, name] : patches) {
        std::vector<std::uint8_t> patch = bank.patchDataAt(number - 1);
        patch.back() = sound;
        bank.setPatchData(patch, number - 1);
        bank.setPatchName(name, number - 1);
    }
    return bank.syxData();
}

// A disk that fails when a test asks; it outlives the app's windows and the
// sounds database they opened through it.
struct WithFaultyDisk
{
    test::FaultyVfs disk;
};

class SoundsInWindows : public WithFaultyDisk, public test::WithWindows<test::FakePrompts>
{
protected:
    void SetUp() override
    {
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            qputenv(variable, QFile::encodeName(qPath(dir / variable)));
        }
    }

    // What a bank window shows in the name cell of row.
    static QString nameCell(DocumentWindow& window, int row)
    {
        const int column = PatchTableModel::columnForIdentifier(QStringLiteral("name"));
        return window.view().nameDelegate().shownText(
            window.view().table().model()->index(row, column));
    }

    // The column as the Library shows it once its search is done.
    static QStringList column(LibraryWindow& library, int column)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !library.model().isSearching(); }));
        QCoreApplication::processEvents();
        QStringList texts;
        for (int row = 0; row < library.model().rowCount(); ++row) {
            texts << library.model().index(row, column).data().toString();
        }
        return texts;
    }

    // Presses keys on the table, as the user does with rows selected, and
    // waits for the change to be written and shown.
    void press(QAbstractItemView& table, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        const int changes = controller.services().sounds().undoStack().count();
        const int warnings = static_cast<int>(prompts.warnings.size());
        table.setFocus();
        QTest::keyClick(&table, key, modifiers);
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return controller.services().sounds().undoStack().count() > changes ||
                   prompts.warnings.size() > warnings;
        }));
    }
};

TEST_F(SoundsInWindows, WhatIsSaidInABankFollowsTheSoundEverywhereAndIsUndoneInTheLibrary)
{
    const auto banks = dir / "banks";
    test::writeBytes(banks / "a.syx", bankOf({{3, u"Hall"}}, 7));
    test::writeBytes(banks / "b.syx", bankOf({{1, u"Room"}}, 7));
    ASSERT_EQ(controller.services().library().addFolder(qPath(banks)), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.services().library().isRefreshing(); }));
    DocumentWindow* a = controller.openDocument(qPath(banks / "a.syx"));
    ASSERT_NE(a, nullptr);
    a->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a));

    // Patch 3: favourite, four stars, two tags, by the keys of a bank window.
    TableView& table = a->view().table();
    test::selectRows(table, {2});
    // The same commands are in the rows' context menu.
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            for (const QAction* action : menu->actions()) {
                offered << action->text();
            }
            menu->close();
        }
    });
    const QPoint onRow = table.visualRect(table.model()->index(2, 1)).center();
    QContextMenuEvent askedForMenu(QContextMenuEvent::Mouse, onRow,
                                   table.viewport()->mapToGlobal(onRow));
    QApplication::sendEvent(table.viewport(), &askedForMenu);
    EXPECT_TRUE(offered.contains(QStringLiteral("&Favourite"))) << offered.join('|').toStdString();
    a->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a));
    press(table, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    press(table, Qt::Key_4, Qt::ControlModifier | Qt::ShiftModifier);
    QTimer::singleShot(0, [a] {
        auto* dialog = a->findChild<QDialog*>();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>()->setText(QStringLiteral("Ambient live,pad"));
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    press(table, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    const QString marks = QStringLiteral("%1 %2 Ambient, live, pad")
                              .arg(QChar(0x2665))
                              .arg(QString(4, QChar(0x2605)));
    EXPECT_EQ(nameCell(*a, 2), QStringLiteral("Hall      ") + marks);
    EXPECT_FALSE(a->document().isModified());
    // Renamed, and copied into another bank: the same sound, the same marks.
    ASSERT_TRUE(a->document().renamePatch(2, QStringLiteral("Big")));
    EXPECT_EQ(nameCell(*a, 2), QStringLiteral("Big       ") + marks);
    DocumentWindow* other = controller.newDocument();
    ASSERT_TRUE(other->document().drop(a->document().writeRows({2}).get(), 40));
    EXPECT_EQ(nameCell(*other, 40), QStringLiteral("Big       ") + marks);
    EXPECT_EQ(nameCell(*other, 41).toStdString(), other->document().bank().patchNameAt(41));

    // The Library shows it for that sound in every bank, and finds it so.
    LibraryWindow& library = *controller.showLibrary();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.services().library().isRefreshing(); }));
    library.searchField().setText(QStringLiteral("fav tag:AMBIENT rating>=4"));
    EXPECT_EQ(column(library, LibraryModel::Name), (QStringList{"Hall   ", "Room   "}));
    EXPECT_EQ(column(library, LibraryModel::Tags),
              (QStringList{"Ambient, live, pad", "Ambient, live, pad"}));
    library.searchField().setText(QStringLiteral("rating>="));
    EXPECT_TRUE(library.statusText().text().contains(QStringLiteral("1 to 5")));

    // F on a favourite takes the decision back; Undo puts it back.
    library.searchField().setText(QStringLiteral("room"));
    ASSERT_EQ(column(library, LibraryModel::Name), QStringList{"Room   "});
    // What another program (a3bank) said meanwhile shows once the Library is
    // in front again.
    const library::Sound room = soundOf(a->document().bank(), 2);
    a->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(a));
    {
        auto elsewhere = library::SoundsDatabase::open(dir / "XDG_DATA_HOME" / "A3 Librarian" /
                                                       "sounds.sqlite3");
        ASSERT_TRUE(elsewhere.ok());
        ASSERT_TRUE((*elsewhere)->change(std::array{room}, {.note = "from a script"}, 1).ok());
    }
    library.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&library));
    // Coming to the front refreshes the library, which shows its results anew.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.services().library().isRefreshing(); }));
    ASSERT_EQ(column(library, LibraryModel::Name), QStringList{"Room   "});
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const auto* said = controller.services().sounds().dataOf(room.key());
        return said && said->note == "from a script";
    }));
    test::selectRows(library.table(), {0});
    QSignalSpy repainted(&library.model(), &QAbstractItemModel::dataChanged);
    press(library.table(), Qt::Key_F);
    EXPECT_FALSE(repainted.isEmpty()); // the one row shown is drawn again
    EXPECT_EQ(column(library, LibraryModel::Favourite), QStringList{""});
    EXPECT_EQ(nameCell(*a, 2),
              QStringLiteral("Big       %1 Ambient, live, pad").arg(QString(4, QChar(0x2605))));
    QAction* undo = nullptr;
    for (QAction* action : library.findChildren<QAction*>()) {
        undo = action->text().startsWith(QStringLiteral("&Undo")) ? action : undo;
    }
    ASSERT_NE(undo, nullptr);
    EXPECT_EQ(undo->text(), QStringLiteral("&Undo Mark as Undecided"));
    undo->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return nameCell(*a, 2).endsWith(marks); }));
    EXPECT_EQ(column(library, LibraryModel::Favourite), QStringList{QString(QChar(0x2665))});
}

TEST_F(SoundsInWindows, AChangeThatCannotBeKeptSaysWhyAndShowsNothingChanged)
{
    // A damaged database is moved aside, and the Library says where.
    const auto data = dir / "XDG_DATA_HOME/A3 Librarian";
    test::writeBytes(data / "sounds.sqlite3", std::vector<std::uint8_t>(4096, 'x'));
    DocumentWindow* window = controller.newDocument();
    LibraryWindow& library = *controller.showLibrary();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !controller.services().sounds().notice().isEmpty(); }));
    EXPECT_TRUE(library.statusText().text().contains(QStringLiteral("was moved to “") +
                                                     qPath(data) +
                                                     QStringLiteral("/sounds.sqlite3.damaged-")))
        << library.statusText().text().toStdString();

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    test::selectRows(window->view().table(), {0, 1});
    disk.failWrites(SQLITE_FULL);
    press(window->view().table(), Qt::Key_5, Qt::ControlModifier | Qt::ShiftModifier);
    disk.failWrites(SQLITE_OK);
    ASSERT_EQ(prompts.warnings.size(), 1);
    EXPECT_TRUE(prompts.warnings.front().startsWith(
        QStringLiteral("The change “Rate %1” could not be kept.|").arg(QString(5, QChar(0x2605)))));
    EXPECT_TRUE(prompts.warnings.front().contains(QStringLiteral("full")));
    EXPECT_EQ(nameCell(*window, 0).toStdString(), window->document().bank().patchNameAt(0));
    EXPECT_EQ(controller.services().sounds().undoStack().count(), 0);
}

// Library > Export Sounds and Import Sounds: what was said comes back into
// another database whole; a file that is not one changes nothing.
TEST_F(SoundsInWindows, ExportedSoundsComeBackWholeAndAWrongFileChangesNothing)
{
    DocumentWindow* window = controller.newDocument();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    test::selectRows(window->view().table(), {0, 1});
    press(window->view().table(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    LibraryWindow& library = *controller.showLibrary();
    const auto trigger = [&](const QString& text) {
        for (QAction* action : library.findChildren<QAction*>()) {
            if (action->text() == text) {
                action->trigger();
                return;
            }
        }
        FAIL() << text.toStdString();
    };

    // A set and a smart list go with the sounds.
    Sounds& mine = controller.services().sounds();
    mine.changeSets(
        [first =
             soundOf(window->document().bank(), 0)](library::SoundsDatabase& database) -> Outcome {
            const auto made = database.createSet("Gig");
            const auto added = made.ok() ? database.addToSet(*made, {&first, 1})
                                         : Result<std::size_t>(made.failure());
            if (!added.ok()) {
                return added.failure();
            }
            const auto kept = database.saveSmartList("Favs", "fav");
            return kept.ok() ? Outcome() : Outcome(kept.failure());
        },
        QStringLiteral("Make a set"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mine.sets().smartLists.size() == 1; }));

    prompts.soundsFile = qPath(dir / "mine.json");
    trigger(QStringLiteral("&Export Sounds…"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return library.statusBar()->currentMessage() ==
               QStringLiteral("The sounds were exported to “") + prompts.soundsFile +
                   QStringLiteral("”.");
    }));
    // Merged back where it came from, it brings nothing new.
    trigger(QStringLiteral("&Import Sounds…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.information.isEmpty(); }));
    EXPECT_EQ(prompts.information.front(),
              QStringLiteral("The sounds of “") + prompts.soundsFile +
                  QStringLiteral("” were merged.|Sounds in the file: 2, new here: 0.\n"
                                 "Favourites, ratings and notes taken from the file, as decided "
                                 "there later: 0.\nTags added: 0 (a tag removed here but kept "
                                 "there comes back).\nSets new: 0, sounds added to sets: 0, smart "
                                 "lists new: 0."));
    // A change before the import and one after it: the one after starts
    // from what the import brought.
    Sounds elsewhere(dir / "elsewhere.sqlite3");
    const library::Sound third = soundOf(window->document().bank(), 2);
    const auto rate = [&](int rating) {
        const int steps = elsewhere.undoStack().count();
        elsewhere.change({third}, {std::nullopt, rating}, QStringLiteral("Rate"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return elsewhere.undoStack().count() == steps + 1; }));
    };
    rate(2);
    bool imported = false;
    elsewhere.importFrom(prompts.soundsFile, [&](const Result<library::MergeSummary>& merged) {
        imported = true;
        ASSERT_TRUE(merged.ok()) << merged.failure().reason;
        EXPECT_EQ(merged->soundsNew, 2u);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return imported; }));
    const auto* importedData = elsewhere.dataOf(soundOf(window->document().bank(), 0).key());
    ASSERT_NE(importedData, nullptr); // shown at once
    EXPECT_EQ(importedData->favourite, library::Favourite::Yes);
    const auto setsShown = [](const Sounds& sounds) {
        return sounds.sets().sets.size() == 1 && sounds.sets().sets.front().sounds.size() == 1 &&
               sounds.sets().smartLists.size() == 1;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return setsShown(elsewhere); }));
    rate(3);
    {
        // And they are there when the app starts again.
        Sounds again(dir / "elsewhere.sqlite3");
        EXPECT_TRUE(QTest::qWaitFor([&] { return setsShown(again); }));
    }
    for (const int row : {0, 1}) {
        const auto* data = elsewhere.dataOf(soundOf(window->document().bank(), row).key());
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->favourite, library::Favourite::Yes);
    }

    const auto before = controller.services().sounds().snapshot();
    test::writeBytes(dir / "mine.json", std::vector<std::uint8_t>{'[', '1'});
    trigger(QStringLiteral("&Import Sounds…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.warnings.isEmpty(); }));
    EXPECT_TRUE(prompts.warnings.front().startsWith(QStringLiteral("Nothing was imported from “") +
                                                    prompts.soundsFile +
                                                    QStringLiteral("”.|not JSON")))
        << prompts.warnings.front().toStdString();
    EXPECT_EQ(controller.services().sounds().snapshot(), before);
    EXPECT_EQ(controller.services().sounds().undoStack().count(), 0); // the import cleared it
}

// The same bytes over other chain data are another sound: a patch that plays
// its bank's chain data, marked in one bank, is not marked in a bank of
// other chain data.
TEST_F(SoundsInWindows, APatchPlayingChainDataIsMarkedWithItsBanksChainDataOnly)
{
    const auto withChainData = [](std::uint8_t chainByte) {
        A3AllDataSource bank = A3AllDataSource::fallbackBank();
        A3AllData record = bank.data();
        record.chain[0] = chainByte;
        bank.setData(record);
        std::vector<std::uint8_t> patch = bank.patchDataAt(0);
        patch[0] = 130; // C2: plays the chain data
        bank.setPatchData(patch, 0);
        return bank.syxData();
    };
    test::writeBytes(dir / "one.syx", withChainData(1));
    test::writeBytes(dir / "other.syx", withChainData(2));
    test::writeBytes(dir / "same.syx", withChainData(1));
    DocumentWindow* one = controller.openDocument(qPath(dir / "one.syx"));
    DocumentWindow* other = controller.openDocument(qPath(dir / "other.syx"));
    DocumentWindow* same = controller.openDocument(qPath(dir / "same.syx"));
    ASSERT_TRUE(one && other && same);
    one->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(one));
    test::selectRows(one->view().table(), {0});
    press(one->view().table(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(nameCell(*one, 0).endsWith(QChar(0x2665)));
    EXPECT_TRUE(nameCell(*same, 0).endsWith(QChar(0x2665)));
    EXPECT_FALSE(nameCell(*other, 0).contains(QChar(0x2665)));

    // A bank made of it, with no bank of its chain ID open, takes the chain
    // data of a bank of that chain ID the Library found.
    const library::Sound sound = soundOf(one->document().bank(), 0);
    const auto chainData = one->document().bank().data().chain;
    for (DocumentWindow* open : {one, other, same}) {
        open->close();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.windows().isEmpty(); }));
    std::filesystem::create_directory(dir / "banks");
    std::filesystem::rename(dir / "other.syx", dir / "banks" / "a other.syx");
    std::filesystem::rename(dir / "one.syx", dir / "banks" / "b one.syx");
    ASSERT_EQ(controller.services().library().addFolder(qPath(dir / "banks")), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.services().library().isRefreshing(); }));
    DocumentWindow* made = controller.newBankOfSounds(std::array{sound}, nullptr);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->document().bank().data().chain, chainData);
    EXPECT_EQ(made->document().bank().chainChecksum(), sound.chainId);
}

// The Note and Tags dialogs over several sounds start from what they share,
// and go once answered.
TEST_F(SoundsInWindows, TheDialogsStartFromWhatTheSelectedSoundsShare)
{
    DocumentWindow* window = controller.newDocument();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    Sounds& sounds = controller.services().sounds();
    const A3AllDataSource& bank = window->document().bank();
    const auto note = [&](std::vector<int> rows, std::string text) {
        std::vector<library::Sound> some;
        for (const int row : rows) {
            some.push_back(soundOf(bank, row));
        }
        const int steps = sounds.undoStack().count();
        sounds.change(some, {.note = std::move(text)}, QStringLiteral("Note"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sounds.undoStack().count() == steps + 1; }));
    };
    note({0, 1}, "for the gig");
    note({2}, "practice");
    TableView& table = window->view().table();
    // Each dialog's window was the active one: the next key goes to the table.
    const auto toTable = [&](std::vector<int> rows) {
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        test::selectRows(table, rows);
        table.setFocus();
    };
    const auto noteShown = [&](std::vector<int> rows) {
        toTable(rows);
        QTest::keyClick(&table, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QPointer<QInputDialog> dialog = window->findChild<QInputDialog*>();
        EXPECT_NE(dialog, nullptr);
        const QString shown = dialog ? dialog->textValue() : QString();
        if (dialog) {
            dialog->reject();
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); })); // deleted once closed
        return shown;
    };
    EXPECT_EQ(noteShown({0, 1}), QStringLiteral("for the gig"));
    EXPECT_EQ(noteShown({1, 2}), QString());

    toTable({0, 1});
    QTest::keyClick(&table, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QPointer<QDialog> tags = window->findChild<QDialog*>();
    ASSERT_NE(tags, nullptr);
    // Only the explanation shows until a word typed is no tag.
    int labelsShown = 0;
    for (QLabel* label : tags->findChildren<QLabel*>()) {
        labelsShown += label->isHidden() ? 0 : 1;
    }
    EXPECT_EQ(labelsShown, 1);
    tags->reject();
    EXPECT_TRUE(QTest::qWaitFor([&] { return tags.isNull(); }));
}

// Answers the name dialog open over window with text, from the event loop.
void answerNameDialog(QWidget& window, const QString& text)
{
    QTimer::singleShot(0, [&window, text] {
        auto* dialog = window.findChild<QInputDialog*>();
        ASSERT_NE(dialog, nullptr);
        dialog->setTextValue(text);
        dialog->accept();
    });
}

// A set made in the Library, filled from a search and from a bank window's
// copy, becomes a new bank; a search kept as a smart list comes back.
TEST_F(SoundsInWindows, ASetFilledFromASearchAndABankBecomesANewBank)
{
    const auto banks = dir / "banks";
    test::writeBytes(banks / "a.syx", bankOf({{3, u"Hall"}}, 7));
    test::writeBytes(banks / "b.syx", bankOf({{1, u"Room"}}, 8));
    ASSERT_EQ(controller.services().library().addFolder(qPath(banks)), std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.services().library().isRefreshing(); }));
    LibraryWindow& library = *controller.showLibrary();
    SetsPanel& panel = library.setsPanel();
    // Made anew at each change: asked for each time.
    const auto sets = [&]() -> const auto&
    {
        return controller.services().sounds().sets().sets;
    };

    answerNameDialog(library, QStringLiteral("Gig"));
    for (QPushButton* button : panel.findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("New Set…")) {
            button->click();
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return sets().size() == 1; }));
    EXPECT_EQ(panel.selectedSet(), sets().front().id); // the set made is the one selected
    library.searchField().setText(QStringLiteral("hall"));
    ASSERT_EQ(column(library, LibraryModel::Name), QStringList{"Hall   "});
    QAction* newBankOfSelection =
        test::menuAction(&library, QStringLiteral("New Bank from Selection"));
    ASSERT_NE(newBankOfSelection, nullptr);
    EXPECT_FALSE(newBankOfSelection->isEnabled()); // nothing selected yet
    QAction* selectAll = test::menuAction(&library, QStringLiteral("Select All"));
    ASSERT_NE(selectAll, nullptr);
    selectAll->trigger();
    EXPECT_EQ(library.table().selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(newBankOfSelection->isEnabled());
    QMenu* addToSet = nullptr;
    for (QMenu* menu : library.findChildren<QMenu*>()) {
        addToSet = menu->title() == QStringLiteral("&Add to Set") ? menu : addToSet;
    }
    ASSERT_NE(addToSet, nullptr);
    EXPECT_TRUE(library.table().actions().contains(addToSet->menuAction())); // its context menu
    emit addToSet->aboutToShow();
    emit addToSet->aboutToShow(); // made anew each time it shows
    ASSERT_EQ(addToSet->actions().size(), 1);
    addToSet->actions().front()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sets().front().sounds.size() == 1; }));

    DocumentWindow* b = controller.openDocument(qPath(banks / "b.syx"));
    ASSERT_NE(b, nullptr);
    QApplication::clipboard()->setMimeData(b->document().writeRows({0, 0}).release());
    for (QAction* action : panel.entries().actions()) {
        if (action->text() == QStringLiteral("Paste")) {
            action->trigger();
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return sets().front().sounds.size() == 2; }));
    EXPECT_EQ(panel.sets().item(0)->text(), QStringLiteral("Gig (2)"));
    EXPECT_EQ(panel.entries().item(1)->text(), QStringLiteral("2  Room"));

    const auto before = controller.windows().size();
    for (QPushButton* button : panel.findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("New Bank from Set")) {
            button->click();
        }
    }
    ASSERT_EQ(controller.windows().size(), before + 1);
    const A3AllDataDocument& made = controller.windows().back()->document();
    EXPECT_EQ(made.bank().patchNameAt(0), "Hall   ");
    EXPECT_EQ(made.bank().patchNameAt(1), "Room   ");
    EXPECT_EQ(made.bank().patchDataAt(2),
              A3AllDataSource::fromFactoryBank(factoryBankPath())->patchDataAt(2));
    EXPECT_TRUE(made.isModified());

    // Patches dropped on a set join it; what holds no patches is refused.
    QListWidget& list = panel.sets();
    // On its lower half, where a drop between rows would go after it.
    const QRect gigRect = list.visualItemRect(list.item(0));
    const QPoint onGig(gigRect.center().x(), gigRect.bottom() - 1);
    QMimeData text;
    text.setText(QStringLiteral("Hall"));
    QDragEnterEvent refused(onGig, Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(list.viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    const std::unique_ptr<QMimeData> patches = b->document().writeRows({5});
    QDragEnterEvent enter(onGig, Qt::CopyAction, patches.get(), Qt::LeftButton, {});
    QApplication::sendEvent(list.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(onGig, Qt::CopyAction, patches.get(), Qt::LeftButton, {});
    QApplication::sendEvent(list.viewport(), &move);
    QDropEvent drop(onGig, Qt::CopyAction, patches.get(), Qt::LeftButton, {});
    QApplication::sendEvent(list.viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted()); // the bank window's drag ends as a copy
    ASSERT_TRUE(QTest::qWaitFor([&] { return sets().front().sounds.size() == 3; }));

    // The set's commands are in its context menu too.
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            for (const QAction* action : menu->actions()) {
                offered << action->text();
            }
            menu->close();
        }
    });
    QContextMenuEvent askedForMenu(QContextMenuEvent::Mouse, onGig,
                                   list.viewport()->mapToGlobal(onGig));
    QApplication::sendEvent(list.viewport(), &askedForMenu);
    EXPECT_TRUE(offered.contains(QStringLiteral("Delete"))) << offered.join('|').toStdString();

    // Deleting a set asks first; cancelled, the set stays.
    const auto answerDelete = [&](bool yes) {
        QTimer::singleShot(0, [&library, yes] {
            auto* question = library.findChild<QMessageBox*>();
            ASSERT_NE(question, nullptr);
            QAbstractButton* answer = question->button(QMessageBox::Cancel);
            for (QAbstractButton* button : question->buttons()) {
                answer = yes && button->text() == QStringLiteral("Delete") ? button : answer;
            }
            answer->click();
        });
    };
    for (const bool yes : {false, true}) {
        answerDelete(yes);
        for (QAction* action : panel.sets().actions()) {
            if (action->text() == QStringLiteral("Delete")) {
                action->trigger();
            }
        }
        QTest::qWait(50);
        ASSERT_TRUE(QTest::qWaitFor([&] { return sets().size() == (yes ? 0u : 1u); }));
    }

    answerNameDialog(library, QStringLiteral("Halls"));
    panel.keepSearch(QStringLiteral("hall fav"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.smartLists().count() == 1; }));
    library.searchField().clear();
    emit panel.smartLists().itemActivated(panel.smartLists().item(0));
    EXPECT_EQ(library.searchField().text(), QStringLiteral("hall fav"));
}

} // namespace
// Changes one after another, undone and redone: each snapshot shown is what
// the database holds, whether it was made as a copy of the one shown or as
// the one shown before it, brought up to date once no one read it.
TEST(SoundsShown, EachSnapshotShownIsWhatTheDatabaseHolds)
{
    test::TempDir dir;
    const std::filesystem::path file = dir / "sounds.sqlite3";
    Sounds sounds(file);
    int shown = 0;
    QObject::connect(&sounds, &Sounds::snapshotChanged, [&] { ++shown; });
    const auto waitForShown = [&](int before) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown > before; }));
    };
    waitForShown(0);
    std::vector<library::Sound> all(4);
    for (std::size_t k = 0; k < all.size(); ++k) {
        all[k].patch[1] = static_cast<std::uint8_t>(k + 1);
    }
    const auto held = [&] {
        auto opened = library::SoundsDatabase::open(file);
        EXPECT_TRUE(opened.ok());
        auto read = opened.ok() ? (*opened)->snapshot() : opened.failure();
        EXPECT_TRUE(read.ok());
        return read.ok() ? *read : library::SoundsSnapshot{};
    };
    const auto change = [&](std::vector<library::Sound> some, library::SoundChange what) {
        const int before = shown;
        sounds.change(std::move(some), std::move(what), QStringLiteral("Change"));
        waitForShown(before);
        EXPECT_EQ(*sounds.snapshot(), held());
    };
    change({all[0], all[1]}, {.favourite = library::Favourite::Yes});
    change({all[1], all[2]}, {.rating = 3});
    {
        // Read by a window meanwhile: the next is made as a copy.
        const auto reading = sounds.snapshot();
        change({all[0]}, {.addTags = {"pad"}});
        EXPECT_NE(*reading, *sounds.snapshot());
    }
    change({all[3]}, {.note = "for the encore"});
    change({all[2], all[3]}, {.favourite = library::Favourite::No, .removeTags = {"pad"}});
    ASSERT_EQ(sounds.undoStack().count(), 5);
    for (int step = 0; step < 5; ++step) {
        const int before = shown;
        sounds.undoStack().undo();
        waitForShown(before);
        EXPECT_EQ(*sounds.snapshot(), held()) << "after undo " << step + 1;
    }
    EXPECT_TRUE(sounds.snapshot()->empty()); // as before the first change
    for (int step = 0; step < 5; ++step) {
        const int before = shown;
        sounds.undoStack().redo();
        waitForShown(before);
        EXPECT_EQ(*sounds.snapshot(), held()) << "after redo " << step + 1;
    }
    EXPECT_EQ(sounds.dataOf(all[3].key())->favourite, library::Favourite::No);
    EXPECT_EQ(sounds.dataOf(all[0].key())->tags, std::vector<std::string>{"pad"});
}

} // namespace a3
