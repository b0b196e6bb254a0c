#include "WindowModal.h"

#include <QDialog>

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

} // namespace

void showWindowModal(QDialog* dialog, std::function<void(int)> finished)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    new Answer(dialog, std::move(finished));
    dialog->open();
}

} // namespace a3
