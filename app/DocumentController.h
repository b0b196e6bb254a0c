#pragma once

#include "A3AllDataDocument.h"
#include "DeviceLink.h"

#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace a3 {

class AppController;
class ClipboardOffer;
class DocumentWindow;
class Library;
class LibraryWindow;
class UserPrompts;

// Creates, finds and closes the open documents: one window each, a file
// never open twice.
class DocumentController : public QObject
{
    Q_OBJECT

public:
    // Why a file could not be opened, in words for the user.
    struct OpenFailure
    {
        QString message;
        FileProblem problem;
    };

    DocumentController(AppController& appController, UserPrompts& prompts,
                       DeviceLink::Settings device = DeviceLink::defaultSettings());
    ~DocumentController() override;

    DocumentWindow* newDocument();
    // A new untitled window for a bank received from the device: edited, so
    // that closing it asks to save. dump must be an accepted All-Data dump.
    DocumentWindow* openReceivedBank(std::span<const std::uint8_t> dump);
    // Brings the window forward when the file is open already; nullptr when
    // the file cannot be opened, with the reason in failure.
    DocumentWindow* openDocument(const QString& path, OpenFailure* failure = nullptr);
    // Opens the files, telling about any that cannot be opened (over
    // window, when given), and brings their windows forward.
    void openDocuments(const QStringList& paths, QWidget* window = nullptr);
    // What a start of the app asked for: its files, or a new bank when it
    // gave none.
    void openRequested(const QStringList& paths);

    // Closes every window in turn, asking about each edited document; done
    // tells whether all closed (false when the user cancelled one, which
    // leaves it and the rest open).
    void closeAllDocuments(std::function<void(bool)> done = {});
    // Closes every window, then quits. Quitting waits for every question
    // already open; a second Quit meanwhile changes nothing.
    void quit();

    DeviceLink& deviceLink() { return _deviceLink; }
    // Portrait, one-inch margins, the default printer's paper: asked of the
    // print system at the first print, not at start-up, as that loads it.
    QPageLayout defaultPageLayout();

    QList<DocumentWindow*> windows() const;
    DocumentWindow* windowForFile(const QString& path) const;

    // Shows a window over the others and gives it the focus.
    static void bringForward(QWidget* window);

    // The app's library, made when first asked for.
    Library& library();
    // The one Library window, brought to the front.
    LibraryWindow* showLibrary();

private:
    std::unique_ptr<A3AllDataDocument> makeDocument(A3AllDataSource bank);
    DocumentWindow* show(DocumentWindow* window);
    void showPatch(const QString& path, qint64 row);

    AppController& _appController;
    UserPrompts& _prompts;
    QList<QPointer<DocumentWindow>> _windows;
    int _untitledCount = 0;
    bool _quitting = false;
    std::shared_ptr<ClipboardOffer> _clipboardOffer;
    DeviceLink _deviceLink;
    // Asking the print system for its default paper can be slow: once a run.
    std::optional<QPageLayout> _defaultPageLayout;
    std::unique_ptr<Library> _library;
    std::unique_ptr<LibraryWindow> _libraryWindow;
};

} // namespace a3
