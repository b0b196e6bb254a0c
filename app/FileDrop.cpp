#include "FileDrop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace a3 {
namespace {

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            files.append(url.toLocalFile());
        }
    }
    return files;
}

} // namespace

FileDrop::FileDrop(QWidget& window, std::function<void(const QStringList&)> open)
    : QObject(&window)
    , _open(std::move(open))
{
    window.setAcceptDrops(true);
    window.installEventFilter(this);
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::DragEnter && event->type() != QEvent::Drop) {
        return QObject::eventFilter(watched, event);
    }
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList files = localFiles(drop->mimeData());
    if (files.isEmpty()) {
        return false;
    }
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        QMetaObject::invokeMethod(
            this, [this, files] { _open(files); }, Qt::QueuedConnection);
    }
    return true;
}

} // namespace a3
