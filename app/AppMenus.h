#pragma once

#include <QKeySequence>

class QMenuBar;

namespace a3 {

class DocumentController;

// The platform's keys for a command, or the common ones where the platform
// has none (Save As and Quit have none without a desktop environment).
QKeySequence commandShortcut(QKeySequence::StandardKey key, const char* common);

// The Window menu every window of the app has: the Library, then every bank
// window, listed anew each time the menu opens; choosing one brings it
// forward.
void addWindowMenu(QMenuBar* menuBar, DocumentController& controller);

} // namespace a3
