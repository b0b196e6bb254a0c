#pragma once

#include <functional>

class QDialog;

namespace a3 {

// Shows a dialog window-modal without an event loop of its own; the dialog
// deletes itself once closed. finished runs exactly once: with the dialog's
// result when it finishes, or with QDialog::Rejected when it goes without
// finishing (deleted with its window, say), from its destruction, when
// nothing of it may be touched. Gone unanswered is cancelled.
void showWindowModal(QDialog* dialog, std::function<void(int)> finished);

} // namespace a3
