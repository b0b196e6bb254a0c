#pragma once

#include <functional>

class QDialog;

namespace a3 {

// Shows a dialog window-modal without an event loop of its own: finished runs
// with the dialog's result once it is answered, and the dialog deletes itself
// afterwards. A dialog deleted with its parent window never answers.
void showWindowModal(QDialog* dialog, std::function<void(int)> finished);

} // namespace a3
