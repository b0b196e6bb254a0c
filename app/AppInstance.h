#pragma once

#include <QLocalServer>
#include <QObject>

class QLocalSocket;
#include <QStringList>

namespace a3 {

// One app per user: the first start listens on a local socket private to the
// user, and a later start hands its files to it and ends, so that a file is
// never open in two apps and Quit, the Window menu and the Library see every
// window. A start that finds no app listening (none runs, or one crashed and
// left its socket behind) becomes the one the next start hands to.
class AppInstance : public QObject
{
    Q_OBJECT

public:
    enum class Start
    {
        Listening,  // this process is the app; later starts come to it
        HandedOver, // the app running took the files: this process ends
        Alone,      // the app running did not answer: this one goes on by itself
    };

    // How long a start waits for another start to be listening, and for
    // the app running to take its files.
    static constexpr int kStartWaitMs = 30'000;

    // The socket in the user's runtime folder (XDG_RUNTIME_DIR), which only
    // the user may enter.
    static QString defaultSocketPath();

    explicit AppInstance(QString socketPath, QObject* parent = nullptr);

    // Starts pass through this lock one at a time, from looking for the
    // app running until listening: two starts at once make one app.
    QString startLockPath() const { return _socketPath + QStringLiteral(".lock"); }

    // Hands files (as given, relative to workingFolder) to the app running,
    // or listens for later starts.
    Start start(const QString& workingFolder, const QStringList& files);
    // Listens for later starts, in place of a socket that nobody answers
    // on: for a start that holds the start lock (start() does). False, with
    // a warning logged, when it cannot.
    bool listen();

signals:
    // A later start's files, made absolute; none when it asked for a new
    // window.
    void filesRequested(const QStringList& files);

private:
    enum class HandOver
    {
        NoApp,
        Taken,
        NoAnswer,
    };
    HandOver handOver(const QString& workingFolder, const QStringList& files);
    void takeRequest(QLocalSocket* socket);

    QString _socketPath;
    QLocalServer _server;
};

} // namespace a3
