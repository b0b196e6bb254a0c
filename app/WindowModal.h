#pragma once

#include <functional>

class QDialog;
class QWidget;

namespace a3 {

// Shows a dialog window-modal without an event loop of its own; the dialog
// deletes itself once closed. finished runs exactly once: with the dialog's
// result when it finishes, or with QDialog::Rejected when it goes without
// finishing (deleted with its window, say), from its destruction, when
// nothing of it may be touched. Gone unanswered is cancelled.
void showWindowModal(QDialog* dialog, std::function<void(int)> finished);

// Runs show from the event loop once the window, shown just now, is on the
// screen (at the next turn when it is already): the window manager places a
// new window only then, and a dialog shown over it before would be centred
// where it is not. Never runs once the window is gone.
void whenOnScreen(QWidget& window, std::function<void()> show);

} // namespace a3
