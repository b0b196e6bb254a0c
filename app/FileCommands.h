#pragma once

#include "DocumentController.h"
#include "WindowQuestions.h"

#include <QCoreApplication>
#include <QStringList>

namespace a3 {

class A3AllDataDocument;

// The File menu's document commands of one window: open, recover patches,
// save, save under another name, revert to the file. Each goes on once its
// questions are answered.
class FileCommands
{
    Q_DECLARE_TR_FUNCTIONS(FileCommands)

public:
    using Done = WindowQuestions::Done;

    FileCommands(A3AllDataDocument& document, WindowQuestions& questions,
                 DocumentController& controller);

    // Asks for files and opens each in a window of its own.
    void open();
    // Opens files in windows of their own and tells about any that cannot be
    // opened, offering to recover the patches of a dump cut short.
    void openFiles(const QStringList& paths);
    // Asks for a file, then recovers what patches it can from it.
    void recover();
    // Recovers what patches it can from the file into a new bank, or tells
    // why none could be.
    void recoverFrom(const QString& path);
    void save(Done done = {});
    void saveAs(Done done = {});
    // Asks, then reads the file again, dropping every edit.
    void revert();
    // Reads the file again without asking; tells why it could not.
    void reloadFromFile();

private:
    void tellOpenFailure(const QString& path, const DocumentController::OpenFailure& failure);
    void saveTo(const QString& path, Done done);
    void writeTo(const QString& path, Done done);

    A3AllDataDocument& _document;
    WindowQuestions& _questions;
    DocumentController& _controller;
};

} // namespace a3
