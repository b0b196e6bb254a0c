#pragma once

#include "IndexSession.h"
#include "LibraryPlaces.h"
#include "PatchCatalog.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <thread>

namespace a3 {

// The app's library: its folders, the index kept up to date off the GUI
// thread, the catalog of every patch it found, and the banks received from
// the device. Holds no widget; the Library window shows it.
//
// A refresh runs on a thread of its own, which may hang in the kernel on a
// folder that stops answering (a network mount gone): Cancel then frees the
// window at once, and the library waits for that thread only a short while
// when it goes, so that the app can always quit.
class Library : public QObject
{
    Q_OBJECT

public:
    // How long the library waits for a refresh to give up when it goes.
    static constexpr std::chrono::seconds kExitWait{3};
    // How long the refresh may wait on one folder before the user is told.
    static constexpr std::chrono::seconds kSlowAfter{2};

    explicit Library(library::LibraryPlaces places, QObject* parent = nullptr);
    ~Library() override;

    // The folders the user added (the Received folder is always searched).
    QStringList folders() const;
    // The reason when the list could not be kept.
    std::optional<QString> addFolder(const QString& folder);
    std::optional<QString> removeFolder(const QString& folder);

    // Brings the index up to date with the files; a refresh asked for while
    // one runs follows it.
    void refresh();
    // Stops the refresh shown; the library shows no refresh from then on,
    // even while the refresh's thread is still waiting for the system.
    void cancel();
    bool isRefreshing() const { return _shown; }
    int filesDone() const;
    int filesFound() const;
    // The folder that the refresh shown has been waiting on for longer than
    // kSlowAfter; empty when none.
    QString slowFolder() const;

    // What the user should know of the library for as long as the app runs
    // (its index was made anew), or an empty text.
    const QString& notice() const { return _notice; }

    // Every patch found by the last refresh; empty before the first.
    std::shared_ptr<const library::PatchCatalog> catalog() const { return _catalog; }

    // Writes a dump as the device sent it into the Received folder, under a
    // name of its own.
    Result<NewFile> keepReceivedBank(std::span<const std::uint8_t> dump);
    std::filesystem::path receivedFolder() const { return _places.receivedFolder(); }

signals:
    void catalogChanged();
    // A bank was kept in the Received folder; the catalog follows once the
    // refresh it starts is done.
    void bankReceived();
    // A refresh ended: what the user should know of it (cancelled, folders
    // that could not be read, an index made anew), or an empty text.
    void refreshed(const QString& news);
    void progressChanged();

private:
    struct Mailbox;

    void startRefresh();
    void finishRefresh(library::RefreshResult result);

    const library::LibraryPlaces _places;
    // Used by one refresh thread at a time; shared with it, as a thread left
    // waiting when the library goes still holds it.
    std::shared_ptr<library::IndexSession> _session;
    std::shared_ptr<Mailbox> _mailbox;
    std::shared_ptr<library::UpdateProgress> _progress;
    std::thread _thread; // the running refresh, or the last one
    std::shared_ptr<const library::PatchCatalog> _catalog;
    QTimer _progressTimer;
    QString _notice;
    bool _shown = false;   // a refresh shows as running: not cancelled
    bool _running = false; // a refresh thread has not reported yet
    bool _again = false;
};

} // namespace a3
