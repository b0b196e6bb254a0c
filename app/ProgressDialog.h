#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace a3 {

// How far a transfer has got, with Cancel. It only shows what it is told: no
// event loop runs inside an update, so nothing else can happen in the middle
// of one. Cancel, Escape and the window manager's close all reject it.
class ProgressDialog final : public QDialog
{
    Q_OBJECT

public:
    // maximum 0: how far is not known (a busy bar).
    ProgressDialog(const QString& text, int maximum, QWidget* parent);

    void setText(const QString& text);
    void setValue(int value);
    // 0: how far is not known (a busy bar).
    void setMaximum(int maximum);

private:
    QLabel* _text;
    QProgressBar* _bar;
};

} // namespace a3
