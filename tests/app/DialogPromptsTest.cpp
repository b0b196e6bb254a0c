// The app's own dialogs as the user meets them: the answers each message
// offers and the one Enter takes, the comparison's columns, the port
// questions, which wrap a long question rather than grow past the screen,
// and the progress of a transfer.

#include "AppTestSupport.h"
#include "ProgressDialog.h"
#include "UserPrompts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace a3 {
namespace {

// A list's header, then each of its rows, as the user reads them.
QList<QStringList> rowsShown(const QTreeWidget& list)
{
    QList<QStringList> rows{{}};
    for (int column = 0; column < list.columnCount(); ++column) {
        rows[0].append(list.headerItem()->text(column));
    }
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        rows.append(QStringList());
        for (int column = 0; column < list.columnCount(); ++column) {
            rows.back().append(list.topLevelItem(row)->text(column));
        }
    }
    return rows;
}

class Dialogs : public ::testing::Test
{
protected:
    void TearDown() override
    {
        test::rejectShownDialogs();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The dialog on screen once it shows.
    template <typename Dialog = QDialog>
    Dialog* shown()
    {
        Dialog* dialog = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (dialog = test::shownDialog<Dialog>()); }));
        return dialog;
    }

    QWidget window;
    DialogPrompts prompts;
};

// Enter takes the answer that loses nothing: Save before closing, Cancel
// before anything is replaced or thrown away, recovering what arrived
// before it is let go.
TEST_F(Dialogs, EachMessageOffersItsAnswersAndEnterTakesTheOneThatLosesNothing)
{
    const auto ignore = [](auto) {};
    const struct
    {
        const char* what;
        std::function<void()> ask;
        QStringList answers; // in alphabetical order
        QString byDefault;
    } cases[] = {
        {"save changes",
         [&] { prompts.askToSaveChanges(&window, "a.syx", ignore); },
         {"Cancel", "Don’t Save", "Save"},
         "Save"},
        {"revert",
         [&] { prompts.confirmRevert(&window, "a.syx", ignore); },
         {"Cancel", "Revert"},
         "Cancel"},
        {"replace",
         [&] { prompts.confirmReplace(&window, "a.syx", ignore); },
         {"Cancel", "Replace"},
         "Cancel"},
        {"changed file",
         [&] { prompts.askAboutChangedFile(&window, "a.syx", ignore); },
         {"Cancel", "Revert", "Save Anyway"},
         "Cancel"},
        {"save as instead",
         [&] { prompts.offerSaveAs(&window, "Not saved.", "Read-only.", ignore); },
         {"Cancel", "Save As…"},
         "Cancel"},
        {"recover what arrived",
         [&] { prompts.offerRecovery(&window, "Not received.", "It stopped.", {}, ignore); },
         {"OK", "Recover Patches…"},
         "Recover Patches…"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.ask();
        QMessageBox* box = shown<QMessageBox>();
        ASSERT_NE(box, nullptr);
        QStringList answers;
        for (const QAbstractButton* button : box->buttons()) {
            answers.append(button->text());
        }
        answers.sort();
        EXPECT_EQ(answers, c.answers);
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), c.byDefault);
        box->reject();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(Dialogs, TheComparisonListsEachPatchThatDiffersUnderItsColumns)
{
    prompts.showComparison(&window, "Differs in 2 patches.",
                           {{"5", "Lead 1 ", "Lead 2 "}, {"61", "Acoustc", "Second "}}, {});
    QDialog* dialog = shown();
    ASSERT_NE(dialog, nullptr);
    const auto* patches = dialog->findChild<QTreeWidget*>();
    ASSERT_NE(patches, nullptr);
    const QList<QStringList> shownRows = rowsShown(*patches);
    EXPECT_EQ(shownRows, (QList<QStringList>{{"#", "Here", "On the device"},
                                             {"5", "Lead 1 ", "Lead 2 "},
                                             {"61", "Acoustc", "Second "}}));
}

// A file's banks, a row each under their columns: Open takes the selected
// ones (the first to begin with, none once nothing is selected), Open All
// every one, Cancel none. The file's name is text, never markup.
TEST_F(Dialogs, TheBanksOfAFileAreChosenToOpen)
{
    const QList<QStringList> rows{{"<b>x</b>.zip › a.syx", "df2c", "Clean  , Crunch , Blues  "},
                                  {"<b>x</b>.zip › b.syx", "0001", "A, B, C"},
                                  {"<b>x</b>.zip › c.syx", "0002", "D, E, F"}};
    const struct
    {
        const char* what;
        std::function<void(QTreeWidget&)> select;
        const char* button;
        QList<int> chosen;
    } cases[] = {
        {"the first, as offered", [](QTreeWidget&) {}, "Open", {0}},
        {"two picked",
         [](QTreeWidget& banks) {
             banks.clearSelection();
             banks.topLevelItem(2)->setSelected(true);
             banks.topLevelItem(1)->setSelected(true);
         },
         "Open",
         {1, 2}},
        {"all", [](QTreeWidget& banks) { banks.clearSelection(); }, "Open All", {0, 1, 2}},
        {"cancelled", [](QTreeWidget&) {}, "Cancel", {}},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        std::optional<QList<int>> chosen;
        prompts.chooseBanksToOpen(&window, "<b>x</b>.zip", rows,
                                  [&](const QList<int>& answer) { chosen = answer; });
        QDialog* dialog = shown();
        ASSERT_NE(dialog, nullptr);
        auto* banks = dialog->findChild<QTreeWidget*>(QStringLiteral("banks"));
        ASSERT_NE(banks, nullptr);
        const QList<QStringList> shownRows = rowsShown(*banks);
        EXPECT_EQ(shownRows, (QList<QStringList>{{"Place", "Chain ID", "First patches"}} + rows));
        EXPECT_TRUE(
            test::shownTexts().contains("“<b>x</b>.zip” holds 3 banks. Choose the ones to open."));
        EXPECT_EQ(test::markupShown(), "");
        each.select(*banks);
        QPushButton* open = nullptr;
        QPushButton* pressed = nullptr;
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            open = button->text() == "Open" ? button : open;
            pressed = button->text() == each.button ? button : pressed;
        }
        ASSERT_NE(open, nullptr);
        EXPECT_EQ(open->isEnabled(), !banks->selectedItems().isEmpty());
        ASSERT_NE(pressed, nullptr);
        pressed->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return chosen.has_value(); }));
        EXPECT_EQ(chosen, std::optional(each.chosen));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Open offers the files that banks come in first, and any file after.
TEST_F(Dialogs, OpenOffersBankAndMidiFilesFirst)
{
    prompts.chooseFilesToOpen(&window, [](const QStringList&) {});
    auto* dialog = shown<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->nameFilters(),
              (QStringList{"All-Data files and MIDI files (*.syx *.mid *.midi *.smf *.rmi *.txt "
                           "*.zip *.lha *.lzh *.tar *.tgz *.gz *.7z)",
                           "All files (*)"}));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
}

// How the dump goes into a MIDI file, then where: one SysEx event to begin
// with, or packets of a size from 16 to a whole dump at a share of MIDI's
// speed, which count only for packets. A cancel at either step is no path.
TEST_F(Dialogs, AMidiExportAsksForThePacketsThenForTheFile)
{
    const test::TempDir dir;
    const QString suggested = QString::fromStdString((dir / "live set.mid").string());
    std::optional<UserPrompts::MidiExport> chosen;
    const auto ask = [&] {
        chosen.reset();
        prompts.chooseMidiExport(&window, suggested,
                                 [&](const UserPrompts::MidiExport& answer) { chosen = answer; });
    };
    ask();
    QDialog* options = shown();
    ASSERT_NE(options, nullptr);
    auto* packets = options->findChild<QRadioButton*>(QStringLiteral("packets"));
    auto* size = options->findChild<QSpinBox*>(QStringLiteral("packetSize"));
    auto* speed = options->findChild<QComboBox*>(QStringLiteral("speed"));
    ASSERT_TRUE(packets && size && speed);
    EXPECT_FALSE(packets->isChecked());
    EXPECT_FALSE(size->isEnabled());
    EXPECT_FALSE(speed->isEnabled());
    EXPECT_EQ(std::pair(16, 29198), std::pair(size->minimum(), size->maximum()));
    EXPECT_EQ(256, size->value());
    packets->setChecked(true);
    EXPECT_TRUE(size->isEnabled() && speed->isEnabled());
    size->setValue(512);
    speed->setCurrentIndex(2);
    options->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    auto* file = shown<QFileDialog>();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(file->nameFilters(), QStringList{"MIDI files (*.mid)"});
    EXPECT_EQ(file->selectedFiles(), QStringList{suggested});
    EXPECT_FALSE(chosen.has_value());
    static_cast<QDialog*>(file)->accept(); // as its Save button does
    ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.has_value(); }));
    EXPECT_EQ(chosen->path, suggested);
    EXPECT_EQ(chosen->packetSize, 512u);
    EXPECT_EQ(chosen->speed, SendSpeed::Quarter);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    ask();
    options = shown();
    ASSERT_NE(options, nullptr);
    options->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.has_value(); }));
    EXPECT_EQ(chosen->path, QString());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(test::shownDialog(), nullptr);
}

// A bank's name may be long; the question wraps, and the dialog asks for no
// more width than a dialog of the app usually has. With no port chosen
// before, the first is offered.
TEST_F(Dialogs, APortQuestionWrapsALongNameRatherThanWidenTheDialog)
{
    const QString question = "Send “" + QString("a long bank name ").repeated(30) + "” to:";
    const QStringList ports{"A3 in:MIDI", "Synth in"};
    const std::function<void()> asks[] = {
        [&] { prompts.choosePort(&window, question, ports, {}, [](const QString&) {}); },
        [&] {
            prompts.chooseSendPort(&window, question, ports, {}, {},
                                   [](const UserPrompts::SendChoice&) {});
        },
    };
    for (const auto& ask : asks) {
        ask();
        QDialog* dialog = shown();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(test::shownTexts().contains(question));
        // What it asks for: the offscreen screen would cut a wider one short.
        EXPECT_LT(dialog->sizeHint().width(), 640);
        EXPECT_EQ(dialog->findChild<QComboBox*>(QStringLiteral("port"))->currentText(),
                  "A3 in:MIDI");
        dialog->reject();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Top to bottom: what is going on, how far it has come, Cancel; wide enough
// that a short text leaves room for the port names that follow, and a long
// one wraps. The bar counts from nothing sent.
TEST_F(Dialogs, AProgressWindowShowsItsTextThenItsBarThenCancel)
{
    ProgressDialog progress(QStringLiteral("Sending…"), 29198, &window);
    progress.show();
    const auto top = [&](const QWidget* widget) { return widget->mapTo(&progress, QPoint()).y(); };
    const auto* text = progress.findChild<QLabel*>();
    const auto* bar = progress.findChild<QProgressBar*>();
    const auto* cancel = progress.findChild<QPushButton*>();
    EXPECT_LT(top(text) + text->height(), top(bar) + 1);
    EXPECT_LT(top(bar) + bar->height(), top(cancel) + 1);
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_GE(text->width(), 360);
    progress.setText("Sending to “" + QString("a long port name ").repeated(30) + "”…");
    EXPECT_LT(progress.sizeHint().width(), 640);
    progress.setValue(0);
    EXPECT_EQ(bar->text(), "0%");
}

} // namespace
} // namespace a3
