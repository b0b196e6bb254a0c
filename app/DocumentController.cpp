#include "DocumentController.h"

#include "ClipboardOffer.h"
#include "DocumentWindow.h"
#include "PrintLayout.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>

namespace a3 {

DocumentController::DocumentController(AppController& appController, UserPrompts& prompts,
                                       DeviceLink::Settings device)
    : _appController(appController)
    , _prompts(prompts)
    , _clipboardOffer(std::make_shared<ClipboardOffer>(QGuiApplication::clipboard()))
    , _deviceLink(std::move(device))
{}

DocumentController::~DocumentController() = default;

DocumentWindow* DocumentController::newDocument()
{
    auto document = makeDocument();
    document->setUntitledNumber(++_untitledCount);
    return show(new DocumentWindow(std::move(document), *this, _appController, _prompts));
}

DocumentWindow* DocumentController::openReceivedBank(std::span<const std::uint8_t> dump)
{
    auto document = makeDocument();
    const QByteArray bytes(reinterpret_cast<const char*>(dump.data()),
                           static_cast<qsizetype>(dump.size()));
    if (!document->readFromData(bytes, {}, nullptr)) {
        return nullptr;
    }
    document->setUntitledNumber(++_untitledCount);
    document->updateChangeCount(Document::ChangeDone);
    return show(new DocumentWindow(std::move(document), *this, _appController, _prompts));
}

DocumentWindow* DocumentController::openDocument(const QString& path, OpenFailure* failure)
{
    if (DocumentWindow* open = windowForFile(path)) {
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    const QFileInfo file(path);
    auto document = makeDocument();
    DocumentError error;
    if (!document->readFromURL(QUrl::fromLocalFile(file.absoluteFilePath()), &error)) {
        if (failure) {
            *failure = {tr("The document “%1” could not be opened.").arg(file.fileName()),
                        error.description};
        }
        return nullptr;
    }
    return show(new DocumentWindow(std::move(document), *this, _appController, _prompts));
}

void DocumentController::openDocuments(const QStringList& paths)
{
    for (const QString& path : paths) {
        OpenFailure failure;
        if (!openDocument(path, &failure)) {
            _prompts.showError(nullptr, failure.message, failure.reason, {});
        }
    }
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

std::unique_ptr<A3AllDataDocument> DocumentController::makeDocument()
{
    auto document = std::make_unique<A3AllDataDocument>();
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

DocumentWindow* DocumentController::show(DocumentWindow* window)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    _windows.removeAll(nullptr);
    _windows.append(window);
    window->show();
    return window;
}

} // namespace a3
