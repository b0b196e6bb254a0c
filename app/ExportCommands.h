#pragma once

#include "WindowQuestions.h"

#include <QCoreApplication>

namespace a3 {

class A3AllDataDocument;

// One window's bank written for other programs to play to the device: a
// Standard MIDI File of the dump as saving would write it, unsaved edits
// and all.
class ExportCommands
{
    Q_DECLARE_TR_FUNCTIONS(ExportCommands)

public:
    ExportCommands(A3AllDataDocument& document, WindowQuestions& questions);

    // Asks how and where, then writes the file; tells why when it could not.
    void exportMidiFile();

private:
    // Beside the bank's file, or where it would be saved, as a .mid.
    QString suggestedMidiPath() const;

    A3AllDataDocument& _document;
    WindowQuestions& _questions;
};

} // namespace a3
