#pragma once

#include "A3AllDataDocument.h"
#include "AppServices.h"
#include "DumpsInFile.h"
#include "PatchCatalog.h"
#include "PatchRecovery.h"
#include "Sound.h"

#include <QFileInfo>
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
class DeviceHistoryWindow;
class DocumentWindow;
class LibraryWindow;
class UserPrompts;

// Creates, finds and closes the open documents: one window each, a bank
// file never open twice; the Library and Device History windows too. The
// windows are given the app's services, which it keeps for them. A bank read out of another kind of
// file (a MIDI file, an archive) opens as a new untitled bank each time.
class DocumentController : public QObject
{
    Q_OBJECT

public:
    // Why a file could not be opened, in words for the user.
    struct OpenFailure
    {
        QString message;
        FileProblem problem;
        // The file holds a dump cut short, whose patches may be recovered.
        bool recoverable = false;
    };

    DocumentController(AppController& appController, UserPrompts& prompts,
                       DeviceLink::Settings device = DeviceLink::defaultSettings());
    ~DocumentController() override;

    DocumentWindow* newDocument();
    // A new untitled bank of sounds: in slots 1 to n under the names they
    // had when kept, the other slots from the factory bank, and the chain
    // data of the bank the chain-data sounds came from (an open bank of that
    // chain ID, else one the library found). Edited, so that closing it asks
    // to save. Tells over window why it cannot be made (more than 100
    // sounds, chain data of different banks or found nowhere); nullptr then.
    DocumentWindow* newBankOfSounds(std::span<const library::Sound> sounds, QWidget* window);
    // A new untitled window for a bank received from the device: edited, so
    // that closing it asks to save. dump must be an accepted All-Data dump.
    DocumentWindow* openReceivedBank(std::span<const std::uint8_t> dump);
    // The banks of a file that holds several, for the user to choose among.
    struct BanksInFile
    {
        QString path;
        std::vector<DumpInFile> dumps;
    };
    // What opening a file gave: the window of its bank, the banks to choose
    // among, or why it could not be opened.
    struct Opening
    {
        DocumentWindow* window = nullptr;
        std::optional<BanksInFile> several;
        OpenFailure failure;
    };

    // Opens a bank file, or brings its window forward when it is open
    // already; a file holding one bank otherwise opens it as a new untitled
    // bank named after the file. A file of several banks opens none: they
    // are returned to be chosen among.
    Opening openFile(const QString& path);
    // As openFile; nullptr, with the reason in failure, when the file cannot
    // be opened, and with no reason when it holds several banks.
    DocumentWindow* openDocument(const QString& path, OpenFailure* failure = nullptr);
    // The chosen banks, each in a window of its own as a new untitled bank.
    QList<DocumentWindow*> openBanks(const BanksInFile& banks, const QList<int>& chosen);
    // A row for each bank for the user to choose by: its place, its chain
    // ID and its first patches' names.
    static QList<QStringList> bankRows(const BanksInFile& banks);
    // Whether the user is being asked which of a file's banks to open.
    bool askingWhichBanks() const { return _banksAsked > 0; }
    // Opens the files, telling about any that cannot be opened (offering to
    // recover the patches of those that hold a dump cut short) and asking
    // which of a file's several banks to open (over window, when given), and
    // brings their windows forward.
    void openDocuments(const QStringList& paths, QWidget* window = nullptr);

    // The patches that arrived whole and clean of the file's dump cut short
    // (the first, else the first whole one), over the factory bank, in a
    // window of a new untitled bank saved beside the file, with the report
    // on what was recovered shown over it; nullptr, with the reason in
    // failure, when no patch could be recovered.
    DocumentWindow* recoverFile(const QString& path, OpenFailure& failure);
    // The same for the bytes of a dump from port that stopped short.
    DocumentWindow* recoverReceived(std::span<const std::uint8_t> bytes, const QString& port,
                                    OpenFailure& failure);
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

    // What the windows share besides their documents.
    AppServices& services() { return _services; }

    QList<DocumentWindow*> windows() const;
    DocumentWindow* windowForFile(const QString& path) const;

    // Shows a window over the others and gives it the focus.
    static void bringForward(QWidget* window);

    // The one Library window, brought to the front.
    LibraryWindow* showLibrary();
    // The one Device History window, brought to the front.
    DeviceHistoryWindow* showDeviceHistory();
    // Opens a bank the library found, as the Library does: its file, or the
    // dump at its place alone. Tells over window why it cannot, or asks
    // which of a file's banks to open; nullptr then.
    DocumentWindow* openLibraryBank(const library::CatalogBank& bank, QWidget* window);

private:
    std::unique_ptr<A3AllDataDocument> makeDocument(A3AllDataSource bank);
    // A new untitled window of bank, edited, so that closing it asks to save.
    DocumentWindow* openAsEdited(A3AllDataSource bank);
    // A bank taken from a file that is not its own (imported), or from the
    // Received folder, which is never saved over.
    DocumentWindow* openImported(const QString& path, const DumpInFile& dump,
                                 A3AllDataDocument::Taken how = A3AllDataDocument::Taken::Imported);
    bool isReceived(const QFileInfo& file);
    DocumentWindow* openRecovered(RecoveredBank recovered, const QString& source,
                                  const QString& suggestedPath);
    // Why the file could not be opened, over window; recovering its patches
    // is offered where it holds a dump cut short.
    void tellOpenFailure(QWidget* window, const QString& path, const OpenFailure& failure);
    // The dump at place in the file, opened as openImported() opens it.
    Opening openDumpAt(const QString& path, const DumpPlace& place);
    void askWhichBanks(QWidget* window, BanksInFile banks);
    DocumentWindow* show(DocumentWindow* window);
    void showPatch(const library::CatalogBank& bank, qint64 row);

    AppController& _appController;
    UserPrompts& _prompts;
    QList<QPointer<DocumentWindow>> _windows;
    int _untitledCount = 0;
    int _banksAsked = 0;
    bool _quitting = false;
    std::shared_ptr<ClipboardOffer> _clipboardOffer;
    AppServices _services; // outlives the windows below, which use it
    std::unique_ptr<LibraryWindow> _libraryWindow;
    std::unique_ptr<DeviceHistoryWindow> _historyWindow;
};

} // namespace a3
