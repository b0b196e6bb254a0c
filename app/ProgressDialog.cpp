#include "ProgressDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace a3 {

ProgressDialog::ProgressDialog(const QString& text, int maximum, QWidget* parent)
    : QDialog(parent)
    , _text(new QLabel(text, this))
    , _bar(new QProgressBar(this))
{
    setWindowTitle(tr("Device"));
    // File and port names are shown as they are, never as markup.
    _text->setTextFormat(Qt::PlainText);
    _text->setWordWrap(true);
    _text->setMinimumWidth(360);
    _bar->setRange(0, maximum);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(_text);
    layout->addWidget(_bar);
    layout->addWidget(buttons);
}

void ProgressDialog::setText(const QString& text)
{
    _text->setText(text);
}

void ProgressDialog::setValue(int value)
{
    _bar->setValue(value);
}

void ProgressDialog::setMaximum(int maximum)
{
    _bar->setMaximum(maximum);
}

} // namespace a3
