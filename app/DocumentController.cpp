#include "DocumentController.h"

#include "AllDataFile.h"
#include "BankView.h"
#include "ClipboardOffer.h"
#include "DeviceHistoryWindow.h"
#include "DocumentWindow.h"
#include "Library.h"
#include "LibraryWindow.h"
#include "PatchText.h"
#include "PrintLayout.h"
#include "SoundSets.h"
#include "TableView.h"
#include "UserPrompts.h"
#include "WindowModal.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <algorithm>

namespace a3 {
namespace {

Q_LOGGING_CATEGORY(lcDocuments, "a3.documents")

QString placeText(const QString& path, const DumpPlace& place)
{
    return QString::fromStdString(describePlace(QFileInfo(path).fileName().toStdString(), place));
}

// Beside the source, named after the file the bank came in (the innermost
// archive member, else the file itself) as nameForm puts it.
QString suggestedSavePath(const QString& path, const DumpPlace& place,
                          const QString& nameForm = QStringLiteral("%1"))
{
    const QFileInfo file(path);
    const QString source = place.members.empty()
                               ? file.fileName()
                               : QFileInfo(QString::fromStdString(place.members.back())).fileName();
    QString base = QFileInfo(source).completeBaseName();
    if (base.isEmpty()) { // a file compressed on its own that keeps no name
        base = file.completeBaseName();
    }
    // "bank.syx.gz", "songs.tar.gz": the name under the compression.
    static const QStringList kInnerSuffixes = {QStringLiteral("syx"), QStringLiteral("tar"),
                                               QStringLiteral("mid"), QStringLiteral("midi")};
    if (kInnerSuffixes.contains(QFileInfo(base).suffix(), Qt::CaseInsensitive)) {
        base = QFileInfo(base).completeBaseName();
    }
    return file.absoluteDir().filePath(nameForm.arg(base) + QStringLiteral(".syx"));
}

// The file is itself the dump, bytes that are not nibbles and all: it opens
// as the bank file it is.
bool isBankFile(const QString& path, const DumpsInFile& found)
{
    return found.bareDump ||
           (found.dumps.size() == 1 && found.dumps.front().place.members.empty() &&
            QFileInfo(path).size() == static_cast<qint64>(kAllDataFileSize));
}

// Recovered patches go into the bank a new bank starts from.
RecoveredBank recoverOverFactoryBank(std::span<const std::uint8_t> bytes)
{
    const std::optional<A3AllDataSource> factory =
        A3AllDataSource::fromFactoryBank(factoryBankPath());
    if (!factory) {
        qCWarning(lcDocuments) << "A3 Factory Preset file is missing.";
        return recoverPatches(bytes, A3AllDataSource::fallbackBank(), "the fallback bank");
    }
    return recoverPatches(bytes, *factory);
}

// Whether recovering from the file gives any patch: a dump cut inside its
// chain data, which comes first, gives none.
bool hasPatchesToRecover(const DumpsInFile& found)
{
    const std::optional<DumpToRecover> dump = dumpToRecover(found);
    return dump && !recoverOverFactoryBank(dump->bytes).report.recovered.empty();
}

// The bank the library found there, read again; nothing when it is no
// longer there.
std::optional<A3AllDataSource> bankAt(const library::CatalogBank& bank)
{
    if (!bank.place) {
        Result<std::vector<std::uint8_t>, BankFileFailure> read = readAllDataFile(bank.path);
        if (!read.ok()) {
            return std::nullopt;
        }
        Result<A3AllDataSource> source = A3AllDataSource::fromSyxData(*read);
        return source.ok() ? std::optional(std::move(source).value()) : std::nullopt;
    }
    const Result<DumpsInFile> found = dumpsInFile(bank.path);
    if (!found.ok()) {
        return std::nullopt;
    }
    const auto dump = std::ranges::find(found->dumps, *bank.place, &DumpInFile::place);
    if (dump == found->dumps.end()) {
        return std::nullopt;
    }
    Result<A3AllDataSource> source = A3AllDataSource::fromSyxData(dump->bytes);
    return source.ok() ? std::optional(std::move(source).value()) : std::nullopt;
}

QString noPatchArrived()
{
    return DocumentController::tr("None of its patches arrived whole and clean.");
}

} // namespace

DocumentController::DocumentController(AppController& appController, UserPrompts& prompts,
                                       DeviceLink::Settings device)
    : _appController(appController)
    , _prompts(prompts)
    , _clipboardOffer(std::make_shared<ClipboardOffer>(QGuiApplication::clipboard()))
    , _services(prompts, std::move(device))
{}

DocumentController::~DocumentController() = default;

LibraryWindow* DocumentController::showLibrary()
{
    if (!_libraryWindow) {
        _libraryWindow =
            std::make_unique<LibraryWindow>(_services.library(), _services, *this, _prompts);
        connect(_libraryWindow.get(), &LibraryWindow::openRequested, this,
                &DocumentController::showPatch);
    }
    bringForward(_libraryWindow.get());
    _services.library().refresh();
    return _libraryWindow.get();
}

DeviceHistoryWindow* DocumentController::showDeviceHistory()
{
    if (!_historyWindow) {
        _historyWindow = std::make_unique<DeviceHistoryWindow>(_services.library(), *this);
    }
    // Showing it reads the folder; asked for again, it reads it again.
    const bool shown = _historyWindow->isVisible();
    bringForward(_historyWindow.get());
    if (shown) {
        _historyWindow->reload();
    }
    return _historyWindow.get();
}

DocumentWindow* DocumentController::openLibraryBank(const library::CatalogBank& bank,
                                                    QWidget* window)
{
    const QString path = QFile::decodeName(bank.path.c_str());
    // A bank inside a file opens as that dump alone, whatever else the file holds.
    Opening opening = bank.place ? openDumpAt(path, *bank.place) : openFile(path);
    if (opening.several) {
        askWhichBanks(window, std::move(*opening.several));
    } else if (!opening.window) {
        tellOpenFailure(window, path, opening.failure);
    }
    return opening.window;
}

void DocumentController::showPatch(const library::CatalogBank& bank, qint64 row)
{
    if (DocumentWindow* window = openLibraryBank(bank, _libraryWindow.get())) {
        window->view().table().selectRow(static_cast<int>(row));
    }
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
    return show(
        new DocumentWindow(std::move(document), *this, _services, _appController, _prompts));
}

DocumentWindow* DocumentController::newBankOfSounds(std::span<const library::Sound> sounds,
                                                    QWidget* window)
{
    std::optional<A3AllDataSource> factory = A3AllDataSource::fromFactoryBank(factoryBankPath());
    const auto chainData = [this](std::uint16_t chainId) -> std::optional<library::ChainData> {
        // A bank open here first: it may hold edits not saved yet.
        for (DocumentWindow* open : windows()) {
            if (open->document().bank().chainChecksum() == chainId) {
                return open->document().bank().data().chain;
            }
        }
        const auto catalog = _services.library().catalog();
        for (std::size_t bank = 0; catalog && bank < catalog->bankCount(); ++bank) {
            const library::CatalogBank& found =
                catalog->bank(static_cast<library::PatchCatalog::PatchId>(bank * kPatchCount));
            if (found.chainChecksum != chainId) {
                continue;
            }
            if (std::optional<A3AllDataSource> read = bankAt(found)) {
                return read->data().chain;
            }
        }
        return std::nullopt;
    };
    Result<A3AllDataSource> bank = library::bankFromSet(
        sounds, factory ? *factory : A3AllDataSource::fallbackBank(), chainData);
    if (!bank.ok()) {
        _prompts.showWarning(window, tr("The new bank could not be made."),
                             QString::fromStdString(bank.failure().reason), {});
        return nullptr;
    }
    return openAsEdited(std::move(bank).value());
}

DocumentWindow* DocumentController::openReceivedBank(std::span<const std::uint8_t> dump)
{
    Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(dump);
    return bank.ok() ? openAsEdited(std::move(bank).value()) : nullptr;
}

DocumentWindow* DocumentController::openAsEdited(A3AllDataSource bank)
{
    auto document = makeDocument(std::move(bank));
    document->setUntitledNumber(++_untitledCount);
    document->setModified();
    return show(
        new DocumentWindow(std::move(document), *this, _services, _appController, _prompts));
}

bool DocumentController::isReceived(const QFileInfo& file)
{
    const QString received =
        QFileInfo(QFile::decodeName(_services.library().receivedFolder().c_str()))
            .canonicalFilePath();
    return !received.isEmpty() && file.canonicalPath() == received;
}

DocumentController::Opening DocumentController::openFile(const QString& path)
{
    if (DocumentWindow* open = windowForFile(path)) {
        bringForward(open);
        return {open, {}, {}};
    }
    const QFileInfo file(path);
    // What the file holds, where it could be read; a lost name is left to the
    // bank file's reading, which refuses it.
    std::optional<DumpsInFile> found;
    if (!isLostFileName(path)) {
        if (Result<DumpsInFile> scanned =
                dumpsInFile(QFile::encodeName(file.absoluteFilePath()).constData());
            scanned.ok()) {
            found = std::move(scanned).value();
        }
    }
    if (found && found->dumps.size() == 1 && isReceived(file)) {
        return {openImported(file.absoluteFilePath(), found->dumps.front(),
                             A3AllDataDocument::Taken::Received),
                {},
                {}};
    }
    if (found && !isBankFile(path, *found)) {
        if (found->dumps.size() == 1) {
            return {openImported(file.absoluteFilePath(), found->dumps.front()), {}, {}};
        }
        if (found->dumps.size() > 1) {
            return {nullptr, BanksInFile{file.absoluteFilePath(), std::move(found->dumps)}, {}};
        }
    }
    auto document = makeDocument(A3AllDataSource::fallbackBank());
    if (Result<void, FileProblem> loaded = document->load(file.absoluteFilePath()); !loaded.ok()) {
        FileProblem problem = loaded.failure();
        // What the file holds instead, where the scan could tell.
        if (found && found->dumps.empty() && !problem.detail.isEmpty()) {
            problem.detail = QString::fromStdString(found->holds);
        }
        return {nullptr,
                {},
                {tr("The document “%1” could not be opened.").arg(file.fileName()),
                 std::move(problem), found && hasPatchesToRecover(*found)}};
    }
    return {
        show(new DocumentWindow(std::move(document), *this, _services, _appController, _prompts)),
        {},
        {}};
}

DocumentWindow* DocumentController::openDocument(const QString& path, OpenFailure* failure)
{
    Opening opening = openFile(path);
    if (failure) {
        *failure = std::move(opening.failure);
    }
    return opening.window;
}

DocumentWindow* DocumentController::openImported(const QString& path, const DumpInFile& dump,
                                                 A3AllDataDocument::Taken how)
{
    // The same dump again is the window that has it, as a file is.
    const QString origin = QString::fromStdString(describePlace(path.toStdString(), dump.place));
    for (DocumentWindow* window : windows()) {
        if (window->document().isTakenFrom(origin)) {
            bringForward(window);
            return window;
        }
    }
    Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(dump.bytes);
    if (!bank.ok()) {
        return nullptr; // found whole, so never
    }
    auto document = makeDocument(std::move(bank).value());
    // Named after its source, it takes no number from the untitled banks.
    if (how == A3AllDataDocument::Taken::Received) {
        // The history is the Received folder: an edit is saved elsewhere,
        // and closing it unchanged loses nothing.
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        document->setTakenFrom(how, placeText(path, dump.place),
                               QDir(documents).filePath(QFileInfo(path).fileName()), origin);
    } else {
        document->setTakenFrom(how, placeText(path, dump.place),
                               suggestedSavePath(path, dump.place), origin);
        // Not saved anywhere yet: closing it asks.
        document->setModified();
    }
    return show(
        new DocumentWindow(std::move(document), *this, _services, _appController, _prompts));
}

DocumentWindow* DocumentController::recoverFile(const QString& path, OpenFailure& failure)
{
    const QFileInfo file(path);
    failure = {tr("No patch could be recovered from “%1”.").arg(file.fileName()), {}};
    if (isLostFileName(path)) {
        failure.problem.reason = lostFileNameReason();
        return nullptr;
    }
    const Result<DumpsInFile> scanned =
        dumpsInFile(QFile::encodeName(file.absoluteFilePath()).constData());
    if (!scanned.ok()) {
        failure.problem.reason = QString::fromLocal8Bit(scanned.failure().reason);
        return nullptr;
    }
    const DumpsInFile& found = *scanned;
    const std::optional<DumpToRecover> dump = dumpToRecover(found);
    if (!dump) {
        failure.problem.reason = QString::fromStdString(found.holds);
        return nullptr;
    }
    RecoveredBank recovered = recoverOverFactoryBank(dump->bytes);
    if (recovered.report.recovered.empty()) {
        failure.problem = {noPatchArrived(), QString::fromStdString(found.holds)};
        return nullptr;
    }
    // Named for what it is, a bank file cut short is never offered to be
    // saved over itself.
    return openRecovered(
        std::move(recovered), placeText(file.absoluteFilePath(), dump->place),
        suggestedSavePath(file.absoluteFilePath(), dump->place, tr("%1 recovered")));
}

DocumentWindow* DocumentController::recoverReceived(std::span<const std::uint8_t> bytes,
                                                    const QString& port, OpenFailure& failure)
{
    RecoveredBank recovered = recoverOverFactoryBank(bytes);
    if (recovered.report.recovered.empty()) {
        failure = {tr("No patch could be recovered from what “%1” sent.").arg(port),
                   {noPatchArrived(), {}}};
        return nullptr;
    }
    return openRecovered(std::move(recovered), port, {});
}

DocumentWindow* DocumentController::openRecovered(RecoveredBank recovered, const QString& source,
                                                  const QString& suggestedPath)
{
    auto document = makeDocument(std::move(recovered.bank));
    document->setTakenFrom(A3AllDataDocument::Taken::Recovered, source, suggestedPath);
    document->setModified();
    DocumentWindow* window =
        show(new DocumentWindow(std::move(document), *this, _services, _appController, _prompts));
    bringForward(window);
    QStringList report;
    for (const std::string& line : recovered.report.lines) {
        report.append(QString::fromStdString(line));
    }
    // Over the bank it tells of, which stays open until it is read.
    whenOnScreen(*window, [this, window, message = tr("Patches recovered from “%1”").arg(source),
                           report = report.join(QLatin1Char('\n')),
                           read = window->questions().whenAnswered([] {})] {
        _prompts.showWarning(window, message, report, read);
    });
    return window;
}

DocumentController::Opening DocumentController::openDumpAt(const QString& path,
                                                           const DumpPlace& place)
{
    const Result<DumpsInFile> found = dumpsInFile(QFile::encodeName(path).constData());
    if (found.ok()) {
        if (const auto dump = std::ranges::find(found->dumps, place, &DumpInFile::place);
            dump != found->dumps.end()) {
            return {openImported(path, *dump), {}, {}};
        }
    }
    const QString reason =
        found.ok() ? tr("The file no longer holds it: it changed since the Library last read it.")
                   : QString::fromLocal8Bit(found.failure().reason);
    return {nullptr,
            {},
            {tr("The bank “%1” could not be opened.").arg(placeText(path, place)), {reason, {}}}};
}

QList<DocumentWindow*> DocumentController::openBanks(const BanksInFile& banks,
                                                     const QList<int>& chosen)
{
    QList<DocumentWindow*> opened;
    for (const int row : chosen) {
        if (row < 0 || static_cast<std::size_t>(row) >= banks.dumps.size()) {
            continue;
        }
        if (DocumentWindow* window =
                openImported(banks.path, banks.dumps[static_cast<std::size_t>(row)])) {
            bringForward(window);
            opened.append(window);
        }
    }
    return opened;
}

QList<QStringList> DocumentController::bankRows(const BanksInFile& banks)
{
    constexpr std::int64_t kPatchesShown = 3;
    QList<QStringList> rows;
    for (const DumpInFile& dump : banks.dumps) {
        // The scan yields only whole dumps, which the bank always takes; each
        // has its row all the same, as rows are chosen by their number.
        Result<A3AllDataSource> taken = A3AllDataSource::fromSyxData(dump.bytes);
        const A3AllDataSource bank =
            taken.ok() ? std::move(taken).value() : A3AllDataSource::fallbackBank();
        QStringList names;
        for (std::int64_t patch = 0; patch < kPatchesShown && patch < bank.numberOfRows();
             ++patch) {
            // Names fill their seven cells with spaces: not worth showing in a list.
            QString name = QString::fromStdString(bank.patchNameAt(patch));
            while (name.endsWith(QLatin1Char(' '))) {
                name.chop(1);
            }
            names.append(name);
        }
        rows.append({placeText(banks.path, dump.place),
                     QString::fromStdString(chainId(bank.chainChecksum())),
                     names.join(QStringLiteral(", "))});
    }
    return rows;
}

void DocumentController::askWhichBanks(QWidget* window, BanksInFile banks)
{
    const QString fileName = QFileInfo(banks.path).fileName();
    const QList<QStringList> rows = bankRows(banks);
    ++_banksAsked;
    _prompts.chooseBanksToOpen(
        window, fileName, rows, [this, banks = std::move(banks)](const QList<int>& chosen) {
            --_banksAsked;
            openBanks(banks, chosen);
            // The app is never left without a window by a list cancelled.
            const bool libraryShown = _libraryWindow && _libraryWindow->isVisible();
            if (windows().isEmpty() && _banksAsked == 0 && !libraryShown) {
                bringForward(newDocument());
            }
        });
}

void DocumentController::openDocuments(const QStringList& paths, QWidget* window)
{
    for (const QString& path : paths) {
        Opening opening = openFile(path);
        if (opening.window) {
            bringForward(opening.window);
        } else if (opening.several) {
            askWhichBanks(window, std::move(*opening.several));
        } else {
            tellOpenFailure(window, path, opening.failure);
        }
    }
}

void DocumentController::tellOpenFailure(QWidget* window, const QString& path,
                                         const OpenFailure& failure)
{
    if (!failure.recoverable) {
        _prompts.showError(window, failure.message, failure.problem.reason, failure.problem.detail,
                           {});
        return;
    }
    _prompts.offerRecovery(window, failure.message, failure.problem.reason, failure.problem.detail,
                           [this, path, window = QPointer(window)](bool recover) {
                               OpenFailure none;
                               if (recover && !recoverFile(path, none)) {
                                   _prompts.showError(window, none.message, none.problem.reason,
                                                      none.problem.detail, {});
                               }
                           });
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
                if (Library* library = _services.libraryIfMade(); library && !modified) {
                    library->refresh();
                }
            });
    _windows.removeAll(nullptr);
    _windows.append(window);
    window->show();
    return window;
}

} // namespace a3
