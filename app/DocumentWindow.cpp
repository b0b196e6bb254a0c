#include "DocumentWindow.h"

#include "AppController.h"
#include "DocumentController.h"
#include "ListingPrinter.h"
#include "TableView.h"
#include "UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace a3 {
namespace {

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            files.append(url.toLocalFile());
        }
    }
    return files;
}

} // namespace

DocumentWindow::DocumentWindow(std::unique_ptr<A3AllDataDocument> document,
                               DocumentController& controller, AppController& appController,
                               UserPrompts& prompts)
    : _document(std::move(document))
    , _controller(controller)
    , _appController(appController)
    , _prompts(prompts)
{
    setCentralWidget(_document->makeWindowContent());
    setAcceptDrops(true); // files dropped from a file manager open as documents
    resize(460, 640);
    createMenus();
    updateTitle();
    updateActions({MenuAction::Copy, MenuAction::Paste, MenuAction::Save, MenuAction::Revert});

    // Each command's state is refreshed by what it depends on, so that its
    // shortcut obeys it too; reading the clipboard is left to the changes
    // that can alter Paste.
    const auto documentChanged = [this] {
        updateTitle();
        updateActions({MenuAction::Save, MenuAction::Revert});
    };
    connect(_document.get(), &Document::documentEditedChanged, this, documentChanged);
    connect(_document.get(), &Document::fileURLChanged, this, documentChanged);
    connect(qApp, &QApplication::focusChanged, this, [this] {
        updateActions({MenuAction::Copy, MenuAction::Paste});
    });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { updateActions({MenuAction::Paste}); });
    connect(_document->patchTableView()->selectionModel(), &QItemSelectionModel::selectionChanged,
            this, [this] { updateActions({MenuAction::Copy}); });
}

DocumentWindow::~DocumentWindow()
{
    // The views go before the document whose model they show, and nothing
    // application-wide may call into this window while it is torn down.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    delete takeCentralWidget();
}

void DocumentWindow::createMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    addCommand(file, tr("&New"), QKeySequence::New, [this] { _controller.newDocument(); });
    addCommand(file, tr("&Open…"), QKeySequence::Open,
               [this] { _controller.openDocumentsFromDialog(this); });
    file->addSeparator();
    addCommand(file, tr("&Close"), QKeySequence::Close, [this] { close(); });
    addCommand(
        file, tr("&Save"), QKeySequence::Save, [this] { save(); }, MenuAction::Save);
    addCommand(file, tr("Save &As…"), QKeySequence::SaveAs, [this] { saveAs(); });
    addCommand(
        file, tr("&Revert to Saved"), {}, [this] { revertDocumentToSaved(); }, MenuAction::Revert);
    file->addSeparator();
    addCommand(file, tr("Page Set&up…"), {}, [this] { runPageLayout(); });
    addCommand(file, tr("Print Pre&view…"), {}, [this] { printPreview(); });
    addCommand(file, tr("&Print…"), QKeySequence::Print, [this] { printDocument(); });
    addCommand(file, tr("&Export as PDF…"), {}, [this] { exportAsPdf(); });
    file->addSeparator();
    addCommand(file, tr("&Quit"), QKeySequence::Quit, [this] {
        _controller.quit();
    })->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    addCommand(
        edit, tr("&Copy"), QKeySequence::Copy, [this] { _document->copy(); }, MenuAction::Copy);
    addCommand(
        edit, tr("&Paste"), QKeySequence::Paste, [this] { _document->paste(); }, MenuAction::Paste);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    addCommand(help, tr("Visit &Web Site"), {}, [this] { _appController.openWebSite(); });
    addCommand(help, tr("&About A3 Librarian"), {}, [this] {
        QMessageBox::about(this, tr("About A3 Librarian"),
                           tr("<p><b>A3 Librarian</b> %1</p><p>Keeps the patch banks of the "
                              "A3 multi-effects processor: rename, copy, print and save "
                              "All-Data files.</p>")
                               .arg(QApplication::applicationVersion()));
    })->setMenuRole(QAction::AboutRole);
}

QAction* DocumentWindow::addCommand(QMenu* menu, const QString& text, const QKeySequence& shortcut,
                                    const std::function<void()>& handler, MenuAction command)
{
    QAction* action = menu->addAction(text);
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    if (command != MenuAction::Other) {
        _actions[command] = action;
    }
    return action;
}

void DocumentWindow::updateActions(std::initializer_list<MenuAction> commands)
{
    for (MenuAction command : commands) {
        _actions.at(command)->setEnabled(_document->validateMenuItem(command));
    }
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(_document->displayName() + QStringLiteral("[*]"));
    setWindowModified(_document->isDocumentEdited());
}

bool DocumentWindow::save()
{
    _document->patchTableView()->commitPendingEdit();
    if (_document->fileURL().isEmpty()) {
        return saveAs();
    }
    return saveTo(_document->fileURL().toLocalFile());
}

bool DocumentWindow::saveAs()
{
    const QUrl file = _document->fileURL();
    const QString suggested = file.isEmpty()
                                  ? QDir::home().filePath(tr("Untitled") + QStringLiteral(".syx"))
                                  : file.toLocalFile();
    const QString path =
        withExtension(_prompts.chooseSaveLocation(this, suggested), QStringLiteral("syx"));
    if (path.isEmpty()) {
        return false;
    }
    // Two windows on one file would overwrite each other's work.
    if (DocumentWindow* other = _controller.windowForFile(path); other && other != this) {
        _prompts.showError(this,
                           tr("“%1” is open in another window.").arg(QFileInfo(path).fileName()),
                           tr("Close that window first, or save under another name."));
        return false;
    }
    return saveTo(path);
}

QString DocumentWindow::withExtension(const QString& path, const QString& suffix)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) {
        return path;
    }
    const QString completed = path + QLatin1Char('.') + suffix;
    if (QFileInfo::exists(completed) &&
        !_prompts.confirmReplace(this, QFileInfo(completed).fileName())) {
        return {};
    }
    return completed;
}

bool DocumentWindow::saveTo(const QString& path)
{
    DocumentError error;
    if (_document->saveToURL(QUrl::fromLocalFile(path), &error)) {
        return true;
    }
    _prompts.showError(this,
                       tr("The document “%1” could not be saved as “%2”.")
                           .arg(_document->displayName(), QFileInfo(path).fileName()),
                       error.description);
    return false;
}

void DocumentWindow::revertDocumentToSaved()
{
    _document->patchTableView()->commitPendingEdit();
    if (!_document->validateMenuItem(MenuAction::Revert) ||
        !_prompts.confirmRevert(this, _document->displayName())) {
        return;
    }
    DocumentError error;
    if (!_document->revertToSaved(&error)) {
        _prompts.showError(
            this, tr("The document “%1” could not be reverted.").arg(_document->displayName()),
            error.description);
    }
}

void DocumentWindow::runPageLayout()
{
    QPrinter printer;
    printer.setPageLayout(_document->pageLayout());
    QPageSetupDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) {
        _document->setPageLayout(printer.pageLayout());
    }
}

void DocumentWindow::printDocument()
{
    _document->patchTableView()->commitPendingEdit();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(_document->displayName());
    printer.setPageLayout(_document->pageLayout());
    QPrintDialog dialog(&printer, this);
    // The listing is one page: nothing to choose from.
    dialog.setMinMax(1, 1);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() == QDialog::Accepted &&
        !printListing(printer, _document->pageLayout(), _document->dataSource(),
                      _document->displayName())) {
        _prompts.showError(this, tr("“%1” could not be printed.").arg(_document->displayName()),
                           tr("The printer could not be reached or its output file could not be "
                              "written."));
    }
}

void DocumentWindow::printPreview()
{
    _document->patchTableView()->commitPendingEdit();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(_document->displayName());
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) {
        printListing(*target, _document->pageLayout(), _document->dataSource(),
                     _document->displayName());
    });
    dialog.exec();
}

bool DocumentWindow::exportAsPdf()
{
    _document->patchTableView()->commitPendingEdit();
    const QUrl file = _document->fileURL();
    const QString directory =
        file.isEmpty() ? QDir::homePath() : QFileInfo(file.toLocalFile()).absolutePath();
    const QString suggested = QDir(directory).filePath(
        QFileInfo(_document->displayName()).completeBaseName() + QStringLiteral(".pdf"));
    const QString path =
        withExtension(_prompts.choosePdfLocation(this, suggested), QStringLiteral("pdf"));
    if (path.isEmpty()) {
        return false;
    }
    const QString failure =
        exportListingPdf(QFile::encodeName(path).constData(), _document->pageLayout(),
                         _document->dataSource(), _document->displayName());
    if (!failure.isEmpty()) {
        _prompts.showError(this,
                           tr("“%1” could not be exported as “%2”.")
                               .arg(_document->displayName(), QFileInfo(path).fileName()),
                           failure);
        return false;
    }
    return true;
}

bool DocumentWindow::maybeSave()
{
    if (!_document->isDocumentEdited()) {
        return true;
    }
    switch (_prompts.askToSaveChanges(this, _document->displayName())) {
    case UserPrompts::SaveChoice::Save:
        return save();
    case UserPrompts::SaveChoice::DontSave:
        return true;
    case UserPrompts::SaveChoice::Cancel:
        break;
    }
    return false;
}

void DocumentWindow::closeEvent(QCloseEvent* event)
{
    _document->patchTableView()->commitPendingEdit();
    if (maybeSave()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void DocumentWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void DocumentWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Opened once the drag is over: a refused file's message must not hold
    // the file manager's drag open.
    QMetaObject::invokeMethod(
        &_controller, [controller = &_controller, files] { controller->openDocuments(files); },
        Qt::QueuedConnection);
}

} // namespace a3
