#pragma once

#include "AtomicFile.h"
#include "OpenQuestions.h"

#include <QCoreApplication>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QDialog;
class QWidget;

namespace a3 {

class UserPrompts;

// The questions one window asks, for every command family of the window.
// Questions never run an event loop of their own: each command goes on when
// its question is answered. A question is open from its asking until its
// answer is handled, or until it goes unanswered; the window does not close
// meanwhile.
class WindowQuestions
{
    Q_DECLARE_TR_FUNCTIONS(WindowQuestions)

public:
    // Called with whether the command got where it was going (the document
    // saved, the window closed, the file written).
    using Done = std::function<void(bool)>;

    // allEnded runs, from the event loop, each time the last open question ends.
    WindowQuestions(QWidget& window, UserPrompts& prompts, std::function<void()> allEnded);

    QWidget* window() const { return &_window; }
    UserPrompts& prompts() const { return _prompts; }
    bool any() const { return _open.any(); }

    // The returned reply counts the question as open until the answer has
    // been handled, or until every copy of the reply has gone unanswered.
    // The handler runs at most once, and never once the window is going.
    template <typename Handler>
    auto whenAnswered(Handler handler)
    {
        struct Pending
        {
            std::shared_ptr<OpenQuestions::Question> question;
            std::optional<Handler> handler;
        };
        auto pending = std::make_shared<Pending>(Pending{_open.ask(), std::move(handler)});
        return [pending](auto&&... answer) {
            const auto question = std::exchange(pending->question, nullptr);
            if (question && question->isCounted()) {
                Handler handle = std::move(*pending->handler);
                pending->handler.reset();
                handle(std::forward<decltype(answer)>(answer)...);
            }
        };
    }

    // A dialog of the window's own, shown window-modal and counted as an
    // open question until it finishes or goes.
    void showDialog(QDialog* dialog, std::function<void(int)> finished);
    // Tells done false once the user has dismissed the message.
    void showError(const QString& message, const QString& reason, Done done = {},
                   const QString& detail = {});
    // Tells done true for a file written to path, once the user has read the
    // warning when it may not outlast a crash; false, telling nothing, when
    // the file was not written.
    bool reportWritten(const QString& path, const WriteResult& written, Done done);
    // The path the user chose, completed with suffix when it has none; empty
    // when the completed name is taken and the user does not want it replaced.
    void withSuffix(const QString& path, const QString& suffix,
                    std::function<void(const QString&)> then);

private:
    QWidget& _window;
    UserPrompts& _prompts;
    OpenQuestions _open;
};

// Tells done the outcome, if anyone asked.
inline void report(const WindowQuestions::Done& done, bool outcome)
{
    if (done) {
        done(outcome);
    }
}

} // namespace a3
