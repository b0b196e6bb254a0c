#include "Library.h"

#include <QFile>
#include <chrono>

namespace a3 {

namespace fs = std::filesystem;

// What a refresh found, handed from the worker to the GUI thread.
struct Library::Outcome
{
    library::IndexUpdate update;
    std::shared_ptr<const library::PatchCatalog> catalog; // null when unchanged
    QString rebuiltBecause;
    QString error;
};

namespace {

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
    for (const auto& folder : update.unreadableFolders) {
        lines << Library::tr("“%1” could not be read: %2")
                     .arg(fromPath(folder.path), QString::fromStdString(folder.reason));
    }
    if (update.filesUnreadable > 0) {
        lines << (update.filesUnreadable == 1
                      ? Library::tr(
                            "1 bank could not be read; it is tried again at the next update.")
                      : Library::tr("%1 banks could not be read; they are tried again at the next "
                                    "update.")
                            .arg(update.filesUnreadable));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

Library::Library(library::LibraryPlaces places, QObject* parent)
    : QObject(parent)
    , _places(std::move(places))
    , _worker(new QObject)
{
    _worker->moveToThread(&_thread);
    connect(&_thread, &QThread::finished, _worker, &QObject::deleteLater);
    _thread.start();
    _progressTimer.setInterval(100);
    connect(&_progressTimer, &QTimer::timeout, this, &Library::progressChanged);
}

Library::~Library()
{
    if (_progress) {
        _progress->cancel = true;
    }
    _thread.quit();
    _thread.wait();
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
    if (!written.written()) {
        return QString::fromStdString(written.reason);
    }
    refresh();
    return std::nullopt;
}

std::optional<QString> Library::removeFolder(const QString& folder)
{
    auto folders = _places.libraryFolders();
    std::erase(folders, fs::path(QFile::encodeName(folder).toStdString()));
    const WriteResult written = _places.setLibraryFolders(folders);
    if (!written.written()) {
        return QString::fromStdString(written.reason);
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
    if (_progress) {
        _progress->cancel = true;
    }
}

int Library::filesDone() const
{
    return _progress ? _progress->filesDone.load() : 0;
}

int Library::filesFound() const
{
    return _progress ? _progress->filesFound.load() : 0;
}

void Library::startRefresh()
{
    _running = true;
    _again = false;
    _progress = std::make_shared<library::UpdateProgress>();
    _progressTimer.start();
    emit progressChanged();
    const bool firstTime = !_catalog;
    QMetaObject::invokeMethod(_worker, [this, firstTime, progress = _progress,
                                        folders = _places.searchedFolders(),
                                        indexFile = _places.indexFile()] {
        auto outcome = std::make_shared<Outcome>();
        try {
            if (!_index) {
                _index = std::make_unique<library::LibraryIndex>(indexFile);
                outcome->rebuiltBecause = QString::fromStdString(_index->rebuiltBecause());
            }
            outcome->update = _index->update(folders, progress.get());
            const auto& update = outcome->update;
            const bool changed = update.banksRead + update.filesPassedOver +
                                     update.filesUnreadable + update.filesRemoved >
                                 0;
            if (!update.cancelled && (firstTime || changed)) {
                outcome->catalog = std::make_shared<const library::PatchCatalog>(_index->catalog());
            }
        } catch (const library::LibraryIndexError& error) {
            outcome->error = QString::fromUtf8(error.what());
            _index.reset();
            // A cache that fails is made anew from the files next time;
            // one that another program holds is only waited for again.
            if (!error.isBusy()) {
                library::LibraryIndex::remove(indexFile);
            }
        }
        QMetaObject::invokeMethod(this, [this, outcome] { finishRefresh(outcome); });
    });
}

void Library::finishRefresh(const std::shared_ptr<Outcome>& outcome)
{
    _running = false;
    _progressTimer.stop();
    if (outcome->catalog) {
        _catalog = outcome->catalog;
        emit catalogChanged();
    }
    emit progressChanged();
    if (!outcome->rebuiltBecause.isEmpty()) {
        _notice = tr("The library's index could not be used (%1) and was made anew from the files.")
                      .arg(outcome->rebuiltBecause);
    }
    emit refreshed(outcome->error.isEmpty()
                       ? news(outcome->update)
                       : tr("The library could not be updated: %1").arg(outcome->error));
    if (_again) {
        startRefresh();
    }
}

std::optional<QString> Library::keepReceivedBank(std::span<const std::uint8_t> dump)
{
    const library::KeptBank kept =
        library::keepReceivedBank(_places.receivedFolder(), dump, std::chrono::system_clock::now());
    if (kept.path.empty()) {
        return QString::fromStdString(kept.reason);
    }
    refresh();
    return std::nullopt;
}

} // namespace a3
