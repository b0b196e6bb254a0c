#pragma once

#include "DocumentWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace a3::test {

// Starts a command that reports through a callback and runs the event loop
// until it has; the outcome, or nothing when it never reported.
inline std::optional<bool> outcomeOf(const std::function<void(DocumentWindow::Done)>& start)
{
    auto outcome = std::make_shared<std::optional<bool>>();
    start([outcome](bool result) { *outcome = result; });
    (void)QTest::qWaitFor([&] { return outcome->has_value(); }, 10000);
    return *outcome;
}

// The message box on screen whose text contains text, if one is.
inline QMessageBox* shownMessageBox(const QString& text)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->text().contains(text)) {
            return box;
        }
    }
    return nullptr;
}

// The dialog on screen that has a child of this kind, if one is.
template <typename Child>
QDialog* shownDialogWith()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog->isVisible() && dialog->findChild<Child*>()) {
            return dialog;
        }
    }
    return nullptr;
}

// The ways a dialog goes other than by its buttons.
enum class DialogEnd
{
    Closed,                // close(), as Close in a window menu does
    ClosedByWindowManager, // the title bar's X, Alt+F4: a close event from the platform
    Deleted,               // gone without a word, as with its window
};

inline void PrintTo(DialogEnd how, std::ostream* out)
{
    *out << (how == DialogEnd::Closed                  ? "closed"
             : how == DialogEnd::ClosedByWindowManager ? "closed by the window manager"
                                                       : "deleted");
}

inline void endDialog(QDialog* dialog, DialogEnd how)
{
    switch (how) {
    case DialogEnd::Closed:
        dialog->close();
        break;
    case DialogEnd::ClosedByWindowManager: {
        QCloseEvent close;
        QApplication::sendEvent(dialog->windowHandle(), &close);
        break;
    }
    case DialogEnd::Deleted:
        delete dialog;
        break;
    }
}

// The labels on screen.
inline QList<QLabel*> shownLabels()
{
    QList<QLabel*> labels;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (auto* label = qobject_cast<QLabel*>(widget); label && label->isVisible()) {
            labels.append(label);
        }
    }
    return labels;
}

// The texts on screen that a label shows as markup, a line each.
inline std::string markupShown()
{
    QStringList shown;
    for (QLabel* label : shownLabels()) {
        if (!label->text().isEmpty() && label->textFormat() != Qt::PlainText &&
            (label->textFormat() == Qt::RichText || Qt::mightBeRichText(label->text()))) {
            shown.append(label->text());
        }
    }
    return shown.join(QLatin1Char('\n')).toStdString();
}

inline bool labelShows(const QString& text)
{
    const QList<QLabel*> labels = shownLabels();
    return std::any_of(labels.begin(), labels.end(),
                       [&](QLabel* label) { return label->text().contains(text); });
}

// The window's command with this menu text, mnemonics left out.
inline QAction* menuAction(QWidget* window, const QString& text)
{
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->text().remove(QLatin1Char('&')) == text) {
            return action;
        }
    }
    return nullptr;
}

inline bool clickButton(QMessageBox* box, const QString& buttonText)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == buttonText) {
            button->click();
            return true;
        }
    }
    return false;
}

// What a user does, step by step, each once the screen shows what it waits
// for. The steps run from a timer, so they go on whatever event loop is
// running: also one that a dialog might run of its own.
class UserScript
{
public:
    struct Step
    {
        QString what;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    explicit UserScript(std::vector<Step> steps)
        : _steps(std::move(steps))
    {
        QObject::connect(&_timer, &QTimer::timeout, [this] {
            // Acted on from a timer of its own, so that this one stays free to
            // fire inside any event loop the action may start.
            if (_next == _taken && _next < _steps.size() && _steps[_next].ready()) {
                QTimer::singleShot(0, [this, step = _next++] {
                    _steps[step].act();
                    ++_taken;
                });
            }
        });
        _timer.start(5);
    }

    // Runs the event loop until every step has been taken; the step it is
    // stuck at otherwise.
    QString run()
    {
        (void)QTest::qWaitFor([this] { return _taken == _steps.size(); }, 10000);
        _timer.stop();
        return _taken == _steps.size() ? QString() : _steps[_taken].what;
    }

    static Step answer(const QString& boxText, const QString& button)
    {
        return {QStringLiteral("answer “%1” with %2").arg(boxText, button),
                [boxText] { return shownMessageBox(boxText) != nullptr; },
                [boxText, button] { clickButton(shownMessageBox(boxText), button); }};
    }
    static Step trigger(QAction* action, const QString& what)
    {
        return {what, [] { return true; }, [action] { action->trigger(); }};
    }

private:
    std::vector<Step> _steps;
    std::size_t _next = 0;  // the next step to start
    std::size_t _taken = 0; // the steps whose action has returned
    QTimer _timer;
};

} // namespace a3::test
