#include "AppMenus.h"

#include "A3AllDataDocument.h"
#include "DocumentController.h"
#include "DocumentWindow.h"
#include "LibraryWindow.h"

#include <QApplication>
#include <QMenuBar>

namespace a3 {

QKeySequence commandShortcut(QKeySequence::StandardKey key, const char* common)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    return bindings.isEmpty() ? QKeySequence(QString::fromLatin1(common)) : bindings.front();
}

void addWindowMenu(QMenuBar* menuBar, DocumentController& controller)
{
    QMenu* menu = menuBar->addMenu(DocumentController::tr("&Window"));
    QAction* library = menu->addAction(DocumentController::tr("&Library"),
                                       QKeySequence(DocumentController::tr("Ctrl+L")), &controller,
                                       [&controller] { controller.showLibrary(); });
    library->setCheckable(true);
    QAction* windowsStart = menu->addSeparator();
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, library, windowsStart, &controller] {
        // The window the menu belongs to is the one checked.
        library->setChecked(qobject_cast<LibraryWindow*>(QApplication::activeWindow()));
        const QList<QAction*> actions = menu->actions();
        for (qsizetype k = actions.indexOf(windowsStart) + 1; k < actions.size(); ++k) {
            menu->removeAction(actions[k]);
            actions[k]->deleteLater();
        }
        for (DocumentWindow* window : controller.windows()) {
            // A file's name is shown as it is: "&" would mark a key instead.
            QString name = window->document().displayName();
            QAction* item = menu->addAction(name.replace(QLatin1Char('&'), QStringLiteral("&&")));
            item->setCheckable(true);
            item->setChecked(window == QApplication::activeWindow());
            QObject::connect(item, &QAction::triggered, window,
                             [window] { DocumentController::bringForward(window); });
        }
    });
}

} // namespace a3
