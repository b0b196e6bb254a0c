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
    updateActions();

    connect(_document.get(), &Document::documentEditedChanged, this, [this] {
        updateTitle();
        updateActions();
    });
    connect(_document.get(), &Document::fileURLChanged, this, [this] {
        updateTitle();
        updateActions();
    });
    connect(qApp, &QApplication::focusChanged, this, &DocumentWindow::updateActions);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &DocumentWindow::updateActions);
    connect(_document->patchTableView()->selectionModel(), &QItemSelectionModel::selectionChanged,
            this, &DocumentWindow::updateActions);
}

DocumentWindow::~DocumentWindow() = default;

void DocumentWindow::createMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    addCommand(file, tr("&New"), QKeySequence::New, [this] { _controller.newDocument(); });
    addCommand(file, tr("&Open…"), QKeySequence::Open,
               [this] { _controller.openDocumentsFromDialog(this); });
    file->addSeparator();
    addCommand(file, tr("&Close"), QKeySequence::Close, [this] { close(); });
    addCommand(file, tr("&Save"), QKeySequence::Save, [this] { save(); }, MenuAction::Save);
    addCommand(file, tr("Save &As…"), QKeySequence::SaveAs, [this] { saveAs(); });
    addCommand(file, tr("&Revert to Saved"), {}, [this] { revertDocumentToSaved(); },
               MenuAction::Revert);
    file->addSeparator();
    addCommand(file, tr("Page Set&up…"), {}, [this] { runPageLayout(); });
    addCommand(file, tr("Print Pre&view…"), {}, [this] { printPreview(); });
    addCommand(file, tr("&Print…"), QKeySequence::Print, [this] { printDocument(); });
    addCommand(file, tr("&Export as PDF…"), {}, [this] { exportAsPdf(); });
    file->addSeparator();
    addCommand(file, tr("&Quit"), QKeySequence::Quit, [this] { _controller.quit(); })
        ->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    addCommand(edit, tr("&Copy"), QKeySequence::Copy, [this] { _document->copy(); },
               MenuAction::Copy);
    addCommand(edit, tr("&Paste"), QKeySequence::Paste, [this] { _document->paste(); },
               MenuAction::Paste);

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

void DocumentWindow::updateActions()
{
    for (auto& [command, action] : _actions) {
        action->setEnabled(_document->validateMenuItem(command));
    }
}

void DocumentWindow::updateTitle()
{
    setWindowTitle(_document->displayName() + QStringLiteral("[*]"));
    setWindowModified(_document->isDocumentEdited());
}

bool DocumentWindow::save()
{
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
    QString path = _prompts.chooseSaveLocation(this, suggested);
    if (path.isEmpty()) {
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".syx");
    }
    return saveTo(path);
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
    if (!_document->validateMenuItem(MenuAction::Revert) ||
        !_prompts.confirmRevert(this, _document->displayName())) {
        return;
    }
    DocumentError error;
    if (!_document->revertToSaved(&error)) {
        _prompts.showError(this,
                           tr("The document “%1” could not be reverted.")
                               .arg(_document->displayName()),
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
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(_document->displayName());
    printer.setPageLayout(_document->pageLayout());
    QPrintDialog dialog(&printer, this);
    // The listing is one page: nothing to choose from.
    dialog.setMinMax(1, 1);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() == QDialog::Accepted) {
        printListing(printer, _document->pageLayout(), _document->dataSource(),
                     _document->displayName());
    }
}

void DocumentWindow::printPreview()
{
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
    const QUrl file = _document->fileURL();
    const QString directory = file.isEmpty() ? QDir::homePath()
                                             : QFileInfo(file.toLocalFile()).absolutePath();
    const QString suggested =
        QDir(directory).filePath(QFileInfo(_document->displayName()).completeBaseName() +
                                 QStringLiteral(".pdf"));
    QString path = _prompts.choosePdfLocation(this, suggested);
    if (path.isEmpty()) {
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".pdf");
    }
    const QString failure = exportListingPdf(path, _document->pageLayout(),
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
    _controller.openDocuments(files);
}

} // namespace a3
