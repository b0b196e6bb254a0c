#include "Library.h"

#include <QFile>
#include <condition_variable>
#include <mutex>

namespace a3 {

namespace fs = std::filesystem;

// Where a refresh thread reports to: the library while it lives. A thread
// left waiting on the system when the library goes finds nobody here.
struct Library::Mailbox
{
    std::mutex mutex;
    std::condition_variable ended;
    Library* owner = nullptr;
    bool running = false;
};

namespace {

// The folders that could not be read are listed up to this many, then
// counted: a whole disk of them would make a window taller than the screen.
constexpr int kFoldersListed = 3;

QString fromPath(const fs::path& path)
{
    return QFile::decodeName(path.c_str());
}

QString news(const library::IndexUpdate& update)
{
    QStringList lines;
    if (update.cancelled) {
        lines << Library::tr("Updating the library was cancelled.");
    }
    const auto& unreadable = update.unreadableFolders;
    for (std::size_t k = 0; k < unreadable.size() && k < kFoldersListed; ++k) {
        lines << Library::tr("“%1” could not be read: %2")
                     .arg(fromPath(unreadable[k].path),
                          QString::fromLocal8Bit(unreadable[k].reason));
    }
    if (const auto more = static_cast<int>(unreadable.size()) - kFoldersListed; more > 0) {
        lines << (more == 1 ? Library::tr("1 more folder could not be read.")
                            : Library::tr("%1 more folders could not be read.").arg(more));
    }
    if (update.filesUnreadable > 0) {
        lines << (update.filesUnreadable == 1
                      ? Library::tr(
                            "1 file could not be read; it is tried again at the next update.")
                      : Library::tr("%1 files could not be read; they are tried again at the next "
                                    "update.")
                            .arg(update.filesUnreadable));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

Library::Library(library::LibraryPlaces places, QObject* parent)
    : QObject(parent)
    , _places(std::move(places))
    , _session(std::make_shared<library::IndexSession>(_places.indexFile()))
    , _mailbox(std::make_shared<Mailbox>())
{
    _mailbox->owner = this;
    _progressTimer.setInterval(100);
    connect(&_progressTimer, &QTimer::timeout, this, &Library::progressChanged);
}

Library::~Library()
{
    std::unique_lock lock(_mailbox->mutex);
    _mailbox->owner = nullptr;
    if (_progress) {
        _progress->cancel = true;
    }
    const bool ended =
        _mailbox->ended.wait_for(lock, kExitWait, [this] { return !_mailbox->running; });
    lock.unlock();
    if (!_thread.joinable()) {
        return;
    }
    if (ended) {
        _thread.join();
    } else {
        // Hung in the kernel on a folder that does not answer: the thread
        // holds all it uses, and the process ends without it.
        _thread.detach();
    }
}

QStringList Library::folders() const
{
    QStringList folders;
    for (const auto& folder : _places.libraryFolders()) {
        folders << fromPath(folder);
    }
    return folders;
}

std::optional<QString> Library::addFolder(const QString& folder)
{
    auto folders = _places.libraryFolders();
    const fs::path added = QFile::encodeName(folder).toStdString();
    if (std::find(folders.begin(), folders.end(), added) == folders.end()) {
        folders.push_back(added);
    }
    const WriteResult written = _places.setLibraryFolders(folders);
    if (!written.ok()) {
        return QString::fromStdString(written.failure().reason);
    }
    refresh();
    return std::nullopt;
}

std::optional<QString> Library::removeFolder(const QString& folder)
{
    auto folders = _places.libraryFolders();
    std::erase(folders, fs::path(QFile::encodeName(folder).toStdString()));
    const WriteResult written = _places.setLibraryFolders(folders);
    if (!written.ok()) {
        return QString::fromStdString(written.failure().reason);
    }
    refresh();
    return std::nullopt;
}

void Library::refresh()
{
    if (_running) {
        _again = true;
        return;
    }
    startRefresh();
}

void Library::cancel()
{
    _again = false;
    if (!_shown) {
        return;
    }
    _progress->cancel = true;
    _shown = false;
    _progressTimer.stop();
    emit progressChanged();
    emit refreshed(tr("Updating the library was cancelled."));
}

int Library::filesDone() const
{
    return _progress ? _progress->filesDone.load() : 0;
}

int Library::filesFound() const
{
    return _progress ? _progress->filesFound.load() : 0;
}

QString Library::slowFolder() const
{
    if (!_shown) {
        return {};
    }
    const library::UpdateProgress::Place place = _progress->place();
    const bool slow =
        !place.folder.empty() && std::chrono::steady_clock::now() - place.since > kSlowAfter;
    return slow ? fromPath(place.folder) : QString();
}

void Library::startRefresh()
{
    _running = true;
    _shown = true;
    _again = false;
    _progress = std::make_shared<library::UpdateProgress>();
    _progressTimer.start();
    emit progressChanged();
    if (_thread.joinable()) {
        _thread.join(); // it has reported: it is ending
    }
    {
        const std::scoped_lock lock(_mailbox->mutex);
        _mailbox->running = true;
    }
    _thread = std::thread([session = _session, mailbox = _mailbox, progress = _progress,
                           folders = _places.searchedFolders()] {
        auto result =
            std::make_shared<library::RefreshResult>(session->refresh(folders, progress.get()));
        const std::scoped_lock lock(mailbox->mutex);
        mailbox->running = false;
        mailbox->ended.notify_all();
        if (Library* owner = mailbox->owner) {
            QMetaObject::invokeMethod(
                owner, [owner, result] { owner->finishRefresh(std::move(*result)); },
                Qt::QueuedConnection);
        }
    });
}

void Library::finishRefresh(library::RefreshResult result)
{
    const bool wasShown = std::exchange(_shown, false);
    _running = false;
    _progressTimer.stop();
    if (result.catalog) {
        _catalog = std::make_shared<const library::PatchCatalog>(std::move(*result.catalog));
        emit catalogChanged();
    }
    emit progressChanged();
    if (!result.rebuiltBecause.empty()) {
        _notice = tr("The library's index could not be used (%1) and was made anew from the files.")
                      .arg(QString::fromStdString(result.rebuiltBecause));
    }
    // A refresh cancelled has said so already.
    if (wasShown) {
        emit refreshed(result.updated.ok()
                           ? news(result.update)
                           : tr("The library could not be updated: %1")
                                 .arg(QString::fromStdString(result.updated.failure().reason)));
    }
    if (_again) {
        startRefresh();
    }
}

Result<NewFile> Library::keepReceivedBank(std::span<const std::uint8_t> dump)
{
    Result<NewFile> kept =
        library::keepReceivedBank(_places.receivedFolder(), dump, std::chrono::system_clock::now());
    if (kept.ok()) {
        emit bankReceived();
        refresh();
    }
    return kept;
}

} // namespace a3
