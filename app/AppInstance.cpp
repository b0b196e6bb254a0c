#include "AppInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>

namespace a3 {
namespace {

Q_LOGGING_CATEGORY(lcInstance, "a3.instance")

// Raised when what a start sends changes, so that a start of another
// version is told apart and goes on alone.
constexpr quint32 kRequestVersion = 1;
constexpr char kTaken = 1;

} // namespace

QString AppInstance::defaultSocketPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
        .filePath(QStringLiteral("a3-librarian.socket"));
}

AppInstance::AppInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , _socketPath(std::move(socketPath))
{
    _server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = _server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this,
                    [this, socket] { takeRequest(socket); });
            takeRequest(socket);
        }
    });
}

AppInstance::Start AppInstance::start(const QString& workingFolder, const QStringList& files)
{
    QLockFile starting(startLockPath());
    if (!starting.tryLock(kStartWaitMs)) {
        qCWarning(lcInstance) << "Another start of the app did not finish:" << starting.error();
        return Start::Alone;
    }
    switch (handOver(workingFolder, files)) {
    case HandOver::Taken:
        return Start::HandedOver;
    case HandOver::NoAnswer:
        return Start::Alone;
    case HandOver::NoApp:
        break;
    }
    return listen() ? Start::Listening : Start::Alone;
}

bool AppInstance::listen()
{
    // Nobody answers there: a socket left by a crash goes.
    QLocalServer::removeServer(_socketPath);
    if (!_server.listen(_socketPath)) {
        qCWarning(lcInstance) << "Later starts cannot find this app:" << _server.errorString();
        return false;
    }
    return true;
}

AppInstance::HandOver AppInstance::handOver(const QString& workingFolder, const QStringList& files)
{
    QLocalSocket socket;
    socket.connectToServer(_socketPath);
    if (!socket.waitForConnected(kStartWaitMs)) {
        return HandOver::NoApp;
    }
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out << kRequestVersion << workingFolder << files;
    socket.write(request);
    // Synchronous: this start has no window and nothing else to do.
    if (!socket.waitForBytesWritten(kStartWaitMs) ||
        (!socket.bytesAvailable() && !socket.waitForReadyRead(kStartWaitMs))) {
        qCWarning(lcInstance) << "The app running did not answer:" << socket.errorString();
        return HandOver::NoAnswer;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kTaken ? HandOver::Taken : HandOver::NoAnswer;
}

void AppInstance::takeRequest(QLocalSocket* socket)
{
    QDataStream in(socket);
    in.startTransaction();
    quint32 version = 0;
    QString workingFolder;
    QStringList files;
    in >> version;
    if (in.status() == QDataStream::Ok && version != kRequestVersion) {
        in.abortTransaction();
        socket->abort();
        return;
    }
    in >> workingFolder >> files;
    if (!in.commitTransaction()) {
        return; // the rest is still on its way
    }
    const QDir folder(workingFolder);
    for (QString& file : files) {
        file = folder.absoluteFilePath(file);
    }
    emit filesRequested(files);
    socket->putChar(kTaken);
    socket->disconnectFromServer();
}

} // namespace a3
