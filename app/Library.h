#pragma once

#include "LibraryIndex.h"
#include "LibraryPlaces.h"
#include "PatchCatalog.h"

#include <QObject>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <memory>
#include <optional>
#include <span>

namespace a3 {

// The app's library: its folders, the index kept up to date off the GUI
// thread, the catalog of every patch it found, and the banks received from
// the device. Holds no widget; the Library window shows it.
class Library : public QObject
{
    Q_OBJECT

public:
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
    void cancel();
    bool isRefreshing() const { return _running; }
    int filesDone() const;
    int filesFound() const;

    // What the user should know of the library for as long as the app runs
    // (its index was made anew), or an empty text.
    const QString& notice() const { return _notice; }

    // Every patch found by the last refresh; empty before the first.
    std::shared_ptr<const library::PatchCatalog> catalog() const { return _catalog; }

    // Writes a dump as the device sent it into the Received folder, under a
    // name of its own; the reason when it could not.
    std::optional<QString> keepReceivedBank(std::span<const std::uint8_t> dump);

signals:
    void catalogChanged();
    // A refresh ended: what the user should know of it (cancelled, folders
    // that could not be read, an index made anew), or an empty text.
    void refreshed(const QString& news);
    void progressChanged();

private:
    struct Outcome;
    void startRefresh();
    void finishRefresh(const std::shared_ptr<Outcome>& outcome);

    const library::LibraryPlaces _places;
    QThread _thread;
    QObject* _worker; // lives in _thread; owns nothing the GUI thread touches
    std::unique_ptr<library::LibraryIndex> _index; // used on _thread only
    std::shared_ptr<library::UpdateProgress> _progress;
    std::shared_ptr<const library::PatchCatalog> _catalog;
    QTimer _progressTimer;
    QString _notice;
    bool _running = false;
    bool _again = false;
};

} // namespace a3
