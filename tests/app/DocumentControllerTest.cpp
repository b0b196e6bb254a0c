// Opening, saving, reverting and closing documents through their windows, with
// the questions a user is asked answered by the test.

#include "DocumentController.h"

#include "AppController.h"
#include "DocumentFixtures.h"
#include "DocumentWindow.h"
#include "FakePrompts.h"
#include "Isolation.h"
#include "PatchTableModel.h"
#include "Poppler.h"

#include <QAction>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <gtest/gtest.h>
#include <unistd.h>

namespace a3 {
namespace {

using Choice = UserPrompts::SaveChoice;
using test::qPath;

class Documents : public ::testing::Test
{
protected:
    void TearDown() override
    {
        prompts.saveAnswers.assign(20, Choice::DontSave);
        controller.closeAllDocuments();
        QApplication::processEvents();
    }

    std::filesystem::path goodFile(const std::string& name)
    {
        const auto path = dir / name;
        A3AllDataSource bank{std::filesystem::path(A3_FACTORY_BANK_PATH)};
        test::writeBytes(path, bank.syxData());
        return path;
    }

    test::TempDir dir;
    test::FakePrompts prompts;
    AppController appController{{}, {}, [](const QUrl&) { return false; }};
    DocumentController controller{appController, prompts};
};

void rename(DocumentWindow* window, int row, const QString& name)
{
    window->document().tableModel().setObjectValue(name, QStringLiteral("name"), row);
}

TEST_F(Documents, NewDocumentsAreNumberedUntitledWindows)
{
    DocumentWindow* first = controller.newDocument();
    DocumentWindow* second = controller.newDocument();
    EXPECT_EQ(QStringLiteral("Untitled[*]"), first->windowTitle());
    EXPECT_EQ(QStringLiteral("Untitled 2"), second->document().displayName());
    EXPECT_TRUE(first->document().fileURL().isEmpty());
    EXPECT_FALSE(first->isWindowModified());
    rename(first, 0, QStringLiteral("Edited"));
    EXPECT_TRUE(first->isWindowModified());
    EXPECT_EQ(2, controller.windows().size());
}

TEST_F(Documents, ARefusedFileIsReportedAndLeavesNoWindow)
{
    test::writeBytes(dir / "short.syx", std::vector<std::uint8_t>(kAllDataFileSize - 1, 0));
    EXPECT_EQ(nullptr, controller.openDocument(qPath(dir / "short.syx")));
    EXPECT_EQ(nullptr, controller.openDocument(qPath(dir / "missing.syx")));
    ASSERT_EQ(2, prompts.errors.size());
    EXPECT_EQ(QStringLiteral("The document “short.syx” could not be opened.|Invalid Data"),
              prompts.errors[0]);
    EXPECT_TRUE(prompts.errors[1].endsWith(QStringLiteral("|No such file or directory")));
    EXPECT_TRUE(controller.windows().isEmpty());
}

TEST_F(Documents, AFileAlreadyOpenIsBroughtForwardNotOpenedTwice)
{
    const auto path = goodFile("bank.syx");
    std::filesystem::create_directory(dir / "sub");
    DocumentWindow* window = controller.openDocument(qPath(path));
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(QStringLiteral("bank.syx[*]"), window->windowTitle());
    EXPECT_EQ(window, controller.openDocument(qPath(dir / "sub" / ".." / "bank.syx")));
    std::filesystem::create_symlink(path, dir / "link.syx");
    EXPECT_EQ(window, controller.openDocument(qPath(dir / "link.syx")));
    EXPECT_EQ(1, controller.windows().size());
}

TEST_F(Documents, SaveAsOffersUntitledAndAddsTheExtension)
{
    DocumentWindow* window = controller.newDocument();
    prompts.saveLocation = qPath(dir / "mine");
    ASSERT_TRUE(window->save());
    EXPECT_TRUE(prompts.suggestedSavePaths.front().endsWith(QStringLiteral("/Untitled.syx")));
    EXPECT_EQ(qPath(dir / "mine.syx"), window->document().fileURL().toLocalFile());
    EXPECT_EQ(kAllDataFileSize, std::filesystem::file_size(dir / "mine.syx"));
    EXPECT_EQ(QStringLiteral("mine.syx[*]"), window->windowTitle());

    prompts.saveLocation.clear(); // cancelled dialog
    rename(window, 0, QStringLiteral("X"));
    EXPECT_FALSE(window->saveAs());
    EXPECT_TRUE(window->document().isDocumentEdited());
}

TEST_F(Documents, SaveAsNeverReplacesAFileUnaskedNorTakesAnotherWindowsFile)
{
    const auto taken = goodFile("taken.syx");
    const auto before = test::readBytes(taken);
    DocumentWindow* open = controller.openDocument(qPath(taken));
    DocumentWindow* window = controller.newDocument();
    rename(window, 0, QStringLiteral("Mine"));

    prompts.saveLocation = qPath(dir / "taken"); // completed to a file that exists
    prompts.replaceAnswer = false;
    EXPECT_FALSE(window->saveAs());
    EXPECT_EQ(QStringList{"taken.syx"}, prompts.asked);

    prompts.replaceAnswer = true; // replaced: but it is open in the other window
    EXPECT_FALSE(window->saveAs());
    ASSERT_EQ(1, prompts.errors.size());
    EXPECT_TRUE(prompts.errors[0].startsWith(QStringLiteral("“taken.syx” is open in another")));
    EXPECT_EQ(before, test::readBytes(taken));
    EXPECT_TRUE(window->document().isDocumentEdited());
    EXPECT_EQ(open, controller.windowForFile(qPath(taken)));
}

TEST_F(Documents, ANameStillBeingTypedIsKeptWhenTheWindowCloses)
{
    DocumentWindow* window = controller.newDocument();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    TableView* table = window->document().patchTableView();
    table->setFocus();
    table->setCurrentIndex(table->model()->index(6, 2));
    QTest::keyClick(table, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(nullptr, editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Typed"));

    prompts.saveAnswers = {Choice::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(QStringList{"Untitled"}, prompts.asked);
    EXPECT_EQ("Typed  ", window->document().dataSource().patchNameAt(6));
}

TEST_F(Documents, FilesDroppedOnTheTableOpenInTheirOwnWindows)
{
    const auto path = goodFile("dropped.syx");
    DocumentWindow* window = controller.newDocument();
    QWidget* viewport = window->document().patchTableView()->viewport();
    QMimeData files; // as file managers offer them: addresses and their paths as text
    files.setUrls({QUrl::fromLocalFile(qPath(path))});
    files.setText(qPath(path));
    const QPoint point = viewport->rect().center();
    QDragEnterEvent enter(point, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(point, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(point), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop); // the table passes it on to the window
    EXPECT_TRUE(drop.isAccepted());
    QApplication::processEvents();
    ASSERT_NE(nullptr, controller.windowForFile(qPath(path)));
    EXPECT_FALSE(window->document().isDocumentEdited());
}

TEST_F(Documents, AWindowCanBeDestroyedWhileItsTableHasTheFocus)
{
    DocumentWindow* window = controller.newDocument();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->document().patchTableView()->setFocus();
    delete window;
    QGuiApplication::clipboard()->setText(QStringLiteral("after"));
    QApplication::processEvents();
    EXPECT_TRUE(controller.windows().isEmpty());
}

TEST_F(Documents, AFailedSaveIsReportedAndKeepsTheEdits)
{
    DocumentWindow* window = controller.newDocument();
    rename(window, 0, QStringLiteral("Keep"));
    prompts.saveLocation = qPath(dir / "no-such-folder" / "bank.syx");
    EXPECT_FALSE(window->save());
    ASSERT_EQ(1, prompts.errors.size());
    EXPECT_TRUE(prompts.errors[0].startsWith(
        QStringLiteral("The document “Untitled” could not be saved as “bank.syx”.|")));
    EXPECT_TRUE(window->document().isDocumentEdited());
    EXPECT_TRUE(window->document().fileURL().isEmpty());
}

TEST_F(Documents, SavingIntoAReadOnlyFolderIsReportedAndLeavesTheOldFile)
{
    if (!test::withoutPrivileges(dir.path())) {
        return;
    }
    const auto path = goodFile("bank.syx");
    const auto before = test::readBytes(path);
    DocumentWindow* window = controller.openDocument(qPath(path));
    rename(window, 0, QStringLiteral("Changed"));
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
    EXPECT_FALSE(window->save());
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    ASSERT_EQ(1, prompts.errors.size());
    EXPECT_TRUE(prompts.errors[0].endsWith(QStringLiteral("|Permission denied")))
        << prompts.errors[0].toStdString();
    EXPECT_TRUE(window->document().isDocumentEdited());
    EXPECT_EQ(before, test::readBytes(path));
}

TEST_F(Documents, RevertAsksFirstAndAFailedRevertChangesNothing)
{
    const auto path = goodFile("bank.syx");
    DocumentWindow* window = controller.openDocument(qPath(path));
    EXPECT_FALSE(window->action(MenuAction::Revert)->isEnabled());
    rename(window, 1, QStringLiteral("Mine"));
    EXPECT_TRUE(window->action(MenuAction::Revert)->isEnabled());

    prompts.revertAnswer = false;
    window->revertDocumentToSaved();
    EXPECT_EQ("Mine   ", window->document().dataSource().patchNameAt(1));

    test::writeBytes(path, std::vector<std::uint8_t>(3, 0));
    prompts.revertAnswer = true;
    window->revertDocumentToSaved();
    EXPECT_EQ(1, prompts.errors.size());
    EXPECT_EQ("Mine   ", window->document().dataSource().patchNameAt(1));
    EXPECT_TRUE(window->document().isDocumentEdited());

    goodFile("bank.syx");
    window->revertDocumentToSaved();
    EXPECT_EQ("Crunch ", window->document().dataSource().patchNameAt(1));
    EXPECT_FALSE(window->isWindowModified());
}

TEST_F(Documents, ClosingAnEditedDocumentAsks)
{
    DocumentWindow* window = controller.newDocument();
    EXPECT_TRUE(
        QPointer<DocumentWindow>(controller.newDocument())->close()); // unchanged: no question
    EXPECT_TRUE(prompts.asked.isEmpty());

    rename(window, 0, QStringLiteral("Edited"));
    prompts.saveAnswers = {Choice::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(QStringList{"Untitled"}, prompts.asked);

    prompts.saveAnswers = {Choice::Save};
    prompts.saveLocation = qPath(dir / "kept.syx");
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(std::filesystem::exists(dir / "kept.syx"));
}

TEST_F(Documents, QuitAsksAboutEachEditedDocumentInTurnAndStopsOnCancel)
{
    DocumentWindow* first = controller.newDocument();
    DocumentWindow* second = controller.newDocument();
    DocumentWindow* third = controller.newDocument();
    rename(first, 0, QStringLiteral("A"));
    rename(third, 0, QStringLiteral("C"));
    (void)second;

    prompts.saveAnswers = {Choice::DontSave, Choice::Cancel};
    EXPECT_FALSE(controller.closeAllDocuments());
    EXPECT_EQ((QStringList{"Untitled", "Untitled 3"}), prompts.asked);
    EXPECT_EQ(1, controller.windows().size()); // the cancelled one stays
}

TEST_F(Documents, CommandEnablingFollowsFocusSelectionClipboardAndEdits)
{
    DocumentWindow* window = controller.newDocument();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    TableView* table = window->document().patchTableView();
    table->setFocus();
    table->clearSelection();
    QApplication::processEvents();
    QAction* copy = window->action(MenuAction::Copy);
    QAction* paste = window->action(MenuAction::Paste);
    QGuiApplication::clipboard()->setText(QStringLiteral("not patches"));
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_FALSE(paste->isEnabled());

    table->selectRow(4);
    EXPECT_TRUE(copy->isEnabled());
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier); // the shortcut reaches Copy
    EXPECT_TRUE(paste->isEnabled());

    table->clearSelection();
    EXPECT_FALSE(copy->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("keep me"));
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier); // disabled: nothing is copied
    EXPECT_EQ(QStringLiteral("keep me"), QGuiApplication::clipboard()->text());
    EXPECT_FALSE(paste->isEnabled());

    EXPECT_FALSE(window->action(MenuAction::Revert)->isEnabled());
    prompts.saveLocation = qPath(dir / "bank.syx");
    ASSERT_TRUE(window->save());
    EXPECT_FALSE(window->action(MenuAction::Save)->isEnabled());
    rename(window, 0, QStringLiteral("Edited"));
    EXPECT_TRUE(window->action(MenuAction::Save)->isEnabled());
    EXPECT_TRUE(window->action(MenuAction::Revert)->isEnabled());
}

TEST_F(Documents, ExportsTheListingAsAOnePagePdfBesideTheBank)
{
    DocumentWindow* window = controller.openDocument(qPath(goodFile("live set.syx")));
    ASSERT_NE(nullptr, window);
    prompts.pdfLocation = qPath(dir / "listing");
    ASSERT_TRUE(window->exportAsPdf());
    EXPECT_EQ(qPath(dir / "live set.pdf"), prompts.suggestedSavePaths.front());
    EXPECT_EQ("1", test::pdfInfo(dir / "listing.pdf", "Pages"));
    const auto lines = test::simplifiedLines(test::pdfLayoutText(dir / "listing.pdf"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Korg A3 SysEx File: live set.syx", lines.front());

    prompts.pdfLocation = qPath(dir / "no-such-folder" / "x.pdf");
    EXPECT_FALSE(window->exportAsPdf());
    EXPECT_EQ(1, prompts.errors.size());
}

TEST_F(Documents, NewDocumentsPrintWithInchMarginsOnTheDefaultPaper)
{
    const QPageLayout layout = controller.newDocument()->document().pageLayout();
    EXPECT_TRUE(layout.isValid());
    EXPECT_EQ(QMarginsF(72, 72, 72, 72), layout.margins(QPageLayout::Point));
}

TEST(AppControllerTest, OpensTheWebSiteOnlyWhenTheAddressIsUsable)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir / "help");
    test::writeBytes(dir / "help" / "index.html", std::vector<std::uint8_t>{'<', '>'});
    QList<QUrl> opened;
    const auto opener = [&](const QUrl& url) {
        opened.append(url);
        return true;
    };
    const auto controller = [&](const char* value) {
        QJsonObject strings;
        if (value) {
            strings.insert(QStringLiteral("kWebSiteURL"), QString::fromLatin1(value));
        }
        return std::make_unique<AppController>(strings, qPath(dir.path()), opener);
    };

    controller("help/index.html")->openWebSite();
    controller("https://example.org/a3")->openWebSite();
    controller(nullptr)->openWebSite(); // missing key: the key is no address
    controller("help/missing.html")->openWebSite();
    controller("http://[broken")->openWebSite();
    EXPECT_EQ((QList<QUrl>{QUrl::fromLocalFile(qPath(dir / "help" / "index.html")),
                           QUrl(QStringLiteral("https://example.org/a3"))}),
              opened);
    EXPECT_EQ(QStringLiteral("kWebSiteURL"),
              controller(nullptr)->localizedString(QStringLiteral("kWebSiteURL")));
}

} // namespace
} // namespace a3
