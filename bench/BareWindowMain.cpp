// The bare Qt program the app's start-up is measured against: it shows a
// BareWindow and runs until it is closed or killed.

#include "BareWindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    a3::bench::BareWindow bare;
    bare.window.show();
    return QApplication::exec();
}
