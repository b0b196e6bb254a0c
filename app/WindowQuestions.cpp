#include "WindowQuestions.h"

#include "UserPrompts.h"
#include "WindowModal.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QWidget>

namespace a3 {
WindowQuestions::WindowQuestions(QWidget& window, UserPrompts& prompts,
                                 std::function<void()> allEnded)
    : _window(window)
    , _prompts(prompts)
    // From the event loop: a question can end inside its dialog's destruction.
    , _open([&window, allEnded = std::move(allEnded)] {
        QMetaObject::invokeMethod(&window, allEnded, Qt::QueuedConnection);
    })
{}

void WindowQuestions::showDialog(QDialog* dialog, std::function<void(int)> finished)
{
    showWindowModal(dialog, whenAnswered(std::move(finished)));
}

void WindowQuestions::showError(const QString& message, const QString& reason, Done done,
                                const QString& detail)
{
    _prompts.showError(&_window, message, reason, detail,
                       whenAnswered([done] { report(done, false); }));
}

bool WindowQuestions::reportWritten(const QString& path, const WriteResult& written, Done done)
{
    if (!written.ok()) {
        return false;
    }
    if (written->durable) {
        report(done, true);
        return true;
    }
    _prompts.showWarning(&_window,
                         tr("“%1” was written, but a crash or power failure may yet undo it.")
                             .arg(QFileInfo(path).fileName()),
                         tr("Its folder could not be synced: %1")
                             .arg(QString::fromLocal8Bit(written->whyNotDurable)),
                         whenAnswered([done] { report(done, true); }));
    return true;
}

void WindowQuestions::withSuffix(const QString& path, const QString& suffix,
                                 std::function<void(const QString&)> then)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) {
        then(path);
        return;
    }
    const QString completed = path + QLatin1Char('.') + suffix;
    if (!QFileInfo::exists(completed)) {
        then(completed);
        return;
    }
    _prompts.confirmReplace(
        &_window, QFileInfo(completed).fileName(),
        whenAnswered([completed, then](bool replace) { then(replace ? completed : QString()); }));
}

} // namespace a3
