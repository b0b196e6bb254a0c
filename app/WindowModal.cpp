#include "WindowModal.h"

#include <QDialog>

namespace a3 {

void showWindowModal(QDialog* dialog, std::function<void(int)> finished)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, std::move(finished));
    dialog->open();
}

} // namespace a3
