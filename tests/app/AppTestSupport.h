#pragma once

#include "AppController.h"
#include "DocumentController.h"
#include "DocumentWindow.h"
#include "TempDir.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

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

// Closes every window, unasked, once a test is done.
inline void closeAllUnasked(DocumentController& controller)
{
    for (DocumentWindow* window : controller.windows()) {
        window->document().undoStack().setClean();
    }
    EXPECT_EQ(true, outcomeOf([&](auto done) { controller.closeAllDocuments(done); }));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Document windows as the app makes them, all closed unasked at the end.
template <typename Prompts>
class WithWindows : public ::testing::Test
{
protected:
    void TearDown() override { closeAllUnasked(controller); }

    TempDir dir;
    Prompts prompts;
    AppController appController{{}, [](const QUrl&) { return false; }};
    DocumentController controller{appController, prompts};
};

inline void selectRows(QAbstractItemView& table, const std::vector<int>& rows)
{
    table.clearSelection();
    for (int row : rows) {
        table.selectionModel()->select(table.model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// What a drag delivers to the table's viewport: enter, move, drop.
struct DropResult
{
    bool offered = false;  // the table offered to take it
    bool accepted = false; // the drop was taken, by the table or the window
};

inline DropResult dropOnto(QAbstractItemView& table, const QMimeData* data, QPoint position)
{
    QWidget* viewport = table.viewport();
    QDragEnterEvent enter(position, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(position, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(position), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return {move.isAccepted() && move.dropAction() == Qt::CopyAction, drop.isAccepted()};
}

// The dialog of this kind on screen that fits, if one is.
template <typename Dialog = QDialog>
Dialog* shownDialog(const std::function<bool(Dialog&)>& fits = [](Dialog&) { return true; })
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<Dialog*>(widget);
        if (dialog && dialog->isVisible() && fits(*dialog)) {
            return dialog;
        }
    }
    return nullptr;
}

inline QMessageBox* shownMessageBox(const QString& text)
{
    return shownDialog<QMessageBox>([&](QMessageBox& box) { return box.text().contains(text); });
}

// As a user dismisses the dialogs on screen.
inline void rejectShownDialogs()
{
    while (QDialog* dialog = shownDialog()) {
        dialog->reject();
    }
}

// The ways a dialog goes other than by its buttons.
enum class DialogEnd
{
    Closed,                // close(), as Close in a window menu does
    ClosedByWindowManager, // the title bar's X, Alt+F4: a close event from the platform
    Deleted,               // gone without a word, as with its window
};

inline void endDialog(QDialog* dialog, DialogEnd how)
{
    QCloseEvent close;
    if (how == DialogEnd::Closed) {
        dialog->close();
    } else if (how == DialogEnd::ClosedByWindowManager) {
        QApplication::sendEvent(dialog->windowHandle(), &close);
    } else {
        delete dialog;
    }
}

// The texts of the labels on screen, or of those that show them as markup.
inline QStringList shownTexts(bool asMarkup = false)
{
    QStringList shown;
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* label = qobject_cast<QLabel*>(widget);
        if (label && label->isVisible() && !label->text().isEmpty() &&
            (!asMarkup ||
             (label->textFormat() != Qt::PlainText &&
              (label->textFormat() == Qt::RichText || Qt::mightBeRichText(label->text()))))) {
            shown.append(label->text());
        }
    }
    return shown;
}

inline std::string markupShown()
{
    return shownTexts(true).join(QLatin1Char('\n')).toStdString();
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

inline void clickButton(QMessageBox* box, const QString& buttonText)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == buttonText) {
            button->click();
        }
    }
}

// What a user does, step by step, each once the screen shows what it waits
// for (at once when nothing). The steps run from a timer, so they go on
// whatever event loop is running: also one that a dialog might run of its own.
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
            if (_next == _taken && _next < _steps.size() &&
                (!_steps[_next].ready || _steps[_next].ready())) {
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

private:
    std::vector<Step> _steps;
    std::size_t _next = 0;  // the next step to start
    std::size_t _taken = 0; // the steps whose action has returned
    QTimer _timer;
};

} // namespace a3::test
