#include "ExportCommands.h"

#include "A3AllDataDocument.h"
#include "MidiFileWriter.h"
#include "Transfer.h"
#include "UserPrompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace a3 {

ExportCommands::ExportCommands(A3AllDataDocument& document, WindowQuestions& questions)
    : _document(document)
    , _questions(questions)
{}

QString ExportCommands::suggestedMidiPath() const
{
    const QString stored =
        _document.filePath().isEmpty() ? _document.suggestedPath() : _document.filePath();
    if (stored.isEmpty()) {
        return QDir::home().filePath(_document.displayName() + QStringLiteral(".mid"));
    }
    const QFileInfo file(stored);
    return file.absoluteDir().filePath(file.completeBaseName() + QStringLiteral(".mid"));
}

void ExportCommands::exportMidiFile()
{
    _questions.prompts().chooseMidiExport(
        _questions.window(), suggestedMidiPath(),
        _questions.whenAnswered([this](const UserPrompts::MidiExport& chosen) {
            _questions.withSuffix(
                chosen.path, QStringLiteral("mid"), [this, chosen](const QString& path) {
                    if (path.isEmpty()) {
                        return;
                    }
                    const QString notExported =
                        tr("“%1” could not be exported as “%2”.")
                            .arg(_document.displayName(), QFileInfo(path).fileName());
                    if (isLostFileName(path)) {
                        _questions.showError(notExported, lostFileNameReason());
                        return;
                    }
                    // As saving writes the bank, so that the device takes what the file plays.
                    A3AllDataSource bank = _document.bank();
                    const std::vector<std::uint8_t> dump = bank.syxData();
                    const std::vector<std::uint8_t> midiFile = midiFileOfDump(
                        std::span<const std::uint8_t, kAllDataFileSize>(dump),
                        {chosen.packetSize, midi::kWireSpeed * percentOf(chosen.speed) / 100});
                    const WriteResult written =
                        writeFileAtomically(QFile::encodeName(path).constData(), midiFile);
                    if (!_questions.reportWritten(path, written, {})) {
                        _questions.showError(notExported,
                                             QString::fromLocal8Bit(written.failure().reason));
                    }
                });
        }));
}

} // namespace a3
