#include "DocumentController.h"

#include "BankView.h"
#include "ClipboardOffer.h"
#include "DocumentWindow.h"
#include "Library.h"
#include "LibraryWindow.h"
#include "PrintLayout.h"
#include "TableView.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLoggingCategory>

namespace a3 {
namespace {

Q_LOGGING_CATEGORY(lcDocuments, "a3.documents")

} // namespace

DocumentController::DocumentController(AppController& appController, UserPrompts& prompts,
                                       DeviceLink::Settings device)
    : _appController(appController)
    , _prompts(prompts)
    , _clipboardOffer(std::make_shared<ClipboardOffer>(QGuiApplication::clipboard()))
    , _deviceLink(std::move(device))
{}

DocumentController::~DocumentController() = default;

Library& DocumentController::library()
{
    if (!_library) {
        _library = std::make_unique<Library>(library::LibraryPlaces::forCurrentUser());
    }
    return *_library;
}

LibraryWindow* DocumentController::showLibrary()
{
    if (!_libraryWindow) {
        _libraryWindow = std::make_unique<LibraryWindow>(library(), *this, _prompts);
        connect(_libraryWindow.get(), &LibraryWindow::openRequested, this,
                &DocumentController::showPatch);
    }
    bringForward(_libraryWindow.get());
    library().refresh();
    return _libraryWindow.get();
}

void DocumentController::showPatch(const QString& path, qint64 row)
{
    OpenFailure failure;
    DocumentWindow* window = openDocument(path, &failure);
    if (!window) {
        _prompts.showError(_libraryWindow.get(), failure.message, failure.problem.reason,
                           failure.problem.detail, {});
        return;
    }
    window->view().table().selectRow(static_cast<int>(row));
}

DocumentWindow* DocumentController::newDocument()
{
    // Read for each new document, never for one that a file replaces.
    std::optional<A3AllDataSource> factory = A3AllDataSource::fromFactoryBank(factoryBankPath());
    if (!factory) {
        qCWarning(lcDocuments) << "A3 Factory Preset file is missing.";
    }
    auto document = makeDocument(factory ? std::move(*factory) : A3AllDataSource::fallbackBank());
    document->setUntitledNumber(++_untitledCount);
    return show(new DocumentWindow(std::move(document), *this, _appController, _prompts));
}

DocumentWindow* DocumentController::openReceivedBank(std::span<const std::uint8_t> dump)
{
    auto document = makeDocument(A3AllDataSource::fallbackBank());
    if (document->loadDump(dump)) {
        return nullptr;
    }
    document->setUntitledNumber(++_untitledCount);
    document->setModified();
    return show(new DocumentWindow(std::move(document), *this, _appController, _prompts));
}

DocumentWindow* DocumentController::openDocument(const QString& path, OpenFailure* failure)
{
    if (DocumentWindow* open = windowForFile(path)) {
        bringForward(open);
        return open;
    }
    const QFileInfo file(path);
    auto document = makeDocument(A3AllDataSource::fallbackBank());
    if (std::optional<FileProblem> problem = document->load(file.absoluteFilePath())) {
        if (failure) {
            *failure = {tr("The document “%1” could not be opened.").arg(file.fileName()),
                        std::move(*problem)};
        }
        return nullptr;
    }
    return show(new DocumentWindow(std::move(document), *this, _appController, _prompts));
}

void DocumentController::openDocuments(const QStringList& paths, QWidget* window)
{
    for (const QString& path : paths) {
        OpenFailure failure;
        if (DocumentWindow* opened = openDocument(path, &failure)) {
            bringForward(opened);
        } else {
            _prompts.showError(window, failure.message, failure.problem.reason,
                               failure.problem.detail, {});
        }
    }
}

void DocumentController::openRequested(const QStringList& paths)
{
    if (paths.isEmpty()) {
        bringForward(newDocument());
        return;
    }
    openDocuments(paths);
}

void DocumentController::closeAllDocuments(std::function<void(bool)> done)
{
    const QList<DocumentWindow*> open = windows();
    if (open.isEmpty()) {
        if (done) {
            done(true);
        }
        return;
    }
    open.front()->closeDocument([this, done = std::move(done)](bool closed) {
        if (!closed) {
            if (done) {
                done(false);
            }
            return;
        }
        closeAllDocuments(done);
    });
}

void DocumentController::quit()
{
    if (_quitting) {
        return;
    }
    _quitting = true;
    closeAllDocuments([this](bool allClosed) {
        _quitting = false;
        if (allClosed) {
            QApplication::quit();
        }
    });
}

QList<DocumentWindow*> DocumentController::windows() const
{
    QList<DocumentWindow*> open;
    for (const QPointer<DocumentWindow>& window : _windows) {
        if (window && window->isVisible()) {
            open.append(window);
        }
    }
    return open;
}

DocumentWindow* DocumentController::windowForFile(const QString& path) const
{
    for (DocumentWindow* window : windows()) {
        if (window->document().isStoredIn(path)) {
            return window;
        }
    }
    return nullptr;
}

std::unique_ptr<A3AllDataDocument> DocumentController::makeDocument(A3AllDataSource bank)
{
    auto document = std::make_unique<A3AllDataDocument>(std::move(bank));
    document->setClipboardOffer(_clipboardOffer);
    return document;
}

QPageLayout DocumentController::defaultPageLayout()
{
    if (!_defaultPageLayout) {
        _defaultPageLayout = a3::defaultPageLayout();
    }
    return *_defaultPageLayout;
}

void DocumentController::bringForward(QWidget* window)
{
    window->showNormal();
    window->raise();
    window->activateWindow();
}

DocumentWindow* DocumentController::show(DocumentWindow* window)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    // A bank saved shows in the library at once.
    connect(&window->document(), &A3AllDataDocument::modificationChanged, this,
            [this](bool modified) {
                if (_library && !modified) {
                    _library->refresh();
                }
            });
    _windows.removeAll(nullptr);
    _windows.append(window);
    window->show();
    return window;
}

} // namespace a3
