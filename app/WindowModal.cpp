#include "WindowModal.h"

#include <QDialog>
#include <QEvent>
#include <QWindow>

namespace a3 {
namespace {

// Owned by the dialog, so that however the dialog goes, its answer comes.
class Answer final : public QObject
{
public:
    Answer(QDialog* dialog, std::function<void(int)> finished)
        : QObject(dialog)
        , _finished(std::move(finished))
    {
        connect(dialog, &QDialog::finished, this, &Answer::give);
    }
    ~Answer() override { give(QDialog::Rejected); }

private:
    void give(int result)
    {
        if (const auto finished = std::exchange(_finished, {})) {
            finished(result);
        }
    }

    std::function<void(int)> _finished;
};

// Owned by the window, so that what waits for it goes with it.
class Exposure final : public QObject
{
public:
    Exposure(QWindow* window, std::function<void()> exposed)
        : QObject(window)
        , _exposed(std::move(exposed))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = static_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && window->isExposed() && _exposed) {
            // Once the window has taken the event, and its place with it.
            QMetaObject::invokeMethod(window, std::exchange(_exposed, {}), Qt::QueuedConnection);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> _exposed;
};

} // namespace

void whenOnScreen(QWidget& window, std::function<void()> show)
{
    QWindow* handle = window.windowHandle();
    if (!handle || handle->isExposed()) {
        QMetaObject::invokeMethod(&window, std::move(show), Qt::QueuedConnection);
        return;
    }
    new Exposure(handle, std::move(show));
}

void showWindowModal(QDialog* dialog, std::function<void(int)> finished)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    new Answer(dialog, std::move(finished));
    dialog->open();
}

} // namespace a3
