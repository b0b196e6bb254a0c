#pragma once

#include "DocumentWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
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
