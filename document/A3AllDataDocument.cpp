#include "A3AllDataDocument.h"

#include "AllDataFile.h"
#include "ClipboardOffer.h"
#include "FileReader.h"
#include "PatchBlock.h"
#include "SameFile.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

namespace a3 {
namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

QByteArray fromBytes(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

FileProblem invalidData(const std::string& detail)
{
    return {A3AllDataDocument::tr("Invalid Data"), QString::fromStdString(detail)};
}

QList<qint64> allRows()
{
    QList<qint64> rows(static_cast<qsizetype>(kPatchCount));
    std::iota(rows.begin(), rows.end(), 0);
    return rows;
}

} // namespace

bool isLostFileName(const QString& path)
{
    return path.contains(QChar::ReplacementCharacter);
}

QString lostFileNameReason()
{
    return A3AllDataDocument::tr("The file name is not valid UTF-8 text.");
}

// Patches of some rows replaced: undone by putting back what they held.
class A3AllDataDocument::PatchEdit : public QUndoCommand
{
public:
    PatchEdit(A3AllDataDocument& document, const QString& text, std::vector<std::int64_t> rows,
              std::span<const std::uint8_t> images)
        : QUndoCommand(text)
        , _document(document)
        , _rows(std::move(rows))
        , _after(images.begin(),
                 images.begin() + static_cast<std::ptrdiff_t>(_rows.size() * kPatchSize))
    {
        for (std::int64_t row : _rows) {
            const std::vector<std::uint8_t> patch = _document._bank.patchDataAt(row);
            _before.insert(_before.end(), patch.begin(), patch.end());
        }
    }

    void redo() override { _document.writePatches(_rows, _after); }
    void undo() override { _document.writePatches(_rows, _before); }

private:
    A3AllDataDocument& _document;
    std::vector<std::int64_t> _rows;
    std::vector<std::uint8_t> _before; // 64 bytes a row, in the order of _rows
    std::vector<std::uint8_t> _after;
};

A3AllDataDocument::A3AllDataDocument(A3AllDataSource bank, QObject* parent)
    : QObject(parent)
    , _bank(std::move(bank))
    , _clipboard(_bank)
    , _clipboardOffer(std::make_shared<ClipboardOffer>(QGuiApplication::clipboard()))
{
    connect(&_undoStack, &QUndoStack::cleanChanged, this,
            [this](bool clean) { emit modificationChanged(!clean); });
}

A3AllDataDocument::~A3AllDataDocument()
{
    // The stack empties itself as it goes: that is no change anyone should
    // hear of from a document being destroyed.
    disconnect(&_undoStack, nullptr, this, nullptr);
}

QString A3AllDataDocument::displayName() const
{
    if (!_filePath.isEmpty()) {
        return QFileInfo(_filePath).fileName();
    }
    if (!_takenFrom.isEmpty()) {
        switch (_taken) {
        case Taken::Recovered:
            return tr("%1 — recovered").arg(_takenFrom);
        case Taken::Received:
            return tr("%1 — received").arg(_takenFrom);
        case Taken::Imported:
            break;
        }
        return tr("%1 — imported").arg(_takenFrom);
    }
    return _untitledNumber <= 1 ? tr("Untitled") : tr("Untitled %1").arg(_untitledNumber);
}

void A3AllDataDocument::setTakenFrom(Taken how, const QString& source, const QString& suggestedPath,
                                     const QString& origin)
{
    _taken = how;
    _takenFrom = source;
    _suggestedPath = suggestedPath;
    _origin = origin;
}

bool A3AllDataDocument::isTakenFrom(const QString& origin) const
{
    // Once saved it is a bank file of its own, no longer what it was taken from.
    return _filePath.isEmpty() && _taken != Taken::Recovered && !origin.isEmpty() &&
           _origin == origin;
}

Result<void, FileProblem> A3AllDataDocument::load(const QString& path)
{
    if (Result<void, FileProblem> read = this->read(path); !read.ok()) {
        return read;
    }
    setFilePath(path);
    return {};
}

Result<void, FileProblem> A3AllDataDocument::reload()
{
    if (_filePath.isEmpty()) {
        return FileProblem{tr("The document has not been saved yet."), {}};
    }
    return read(_filePath);
}

Result<void, FileProblem> A3AllDataDocument::read(const QString& path)
{
    if (isLostFileName(path)) {
        return FileProblem{lostFileNameReason(), {}};
    }
    const auto file = readAllDataFile(QFile::encodeName(path).constData());
    if (!file.ok()) {
        const BankFileFailure& failure = file.failure();
        if (failure.kind == BankFileFailure::Kind::NotABank) {
            return invalidData(failure.reason);
        }
        return FileProblem{QString::fromLocal8Bit(failure.reason), {}};
    }
    if (Result<void, FileProblem> taken = take(*file); !taken.ok()) {
        return taken;
    }
    _fileStamp = FileStamp::of(path, fromBytes(*file));
    return {};
}

Result<void, FileProblem> A3AllDataDocument::take(std::span<const std::uint8_t> content)
{
    if (const Outcome taken = _bank.setSyxData(content); !taken.ok()) {
        return invalidData(taken.failure().reason);
    }
    // The edits were made to the bank that is gone.
    _undoStack.clear();
    emit bankChanged(allRows());
    emit chainIdChanged();
    return {};
}

WriteResult A3AllDataDocument::save(const QString& path)
{
    if (isLostFileName(path)) {
        return Failure{lostFileNameReason().toStdString()};
    }
    // Encoded straight into the buffer that is saved: written once, not copied.
    QByteArray content(static_cast<qsizetype>(kAllDataFileSize), Qt::Uninitialized);
    _bank.writeSyxData(std::span<std::uint8_t, kAllDataFileSize>(
        reinterpret_cast<std::uint8_t*>(content.data()), kAllDataFileSize));
    // Saving recomputes the chain checksum, which is also what the clipboard
    // keys chain-linked patches with.
    emit chainIdChanged();
    const WriteResult written =
        writeFileAtomically(QFile::encodeName(path).constData(), bytesOf(content));
    if (written.ok()) {
        _fileStamp = FileStamp::of(path, content);
        setFilePath(path);
        _undoStack.setClean();
    }
    return written;
}

bool A3AllDataDocument::fileChangedOnDisk()
{
    if (_filePath.isEmpty()) {
        return false;
    }
    const QByteArray localPath = QFile::encodeName(_filePath);
    std::error_code error;
    if (!std::filesystem::exists(localPath.constData(), error)) {
        return false;
    }
    if (const std::optional<FileStamp> now = FileStamp::of(_filePath, {}); // size and time only
        _fileStamp && now && _fileStamp->showsUnchanged(*now)) {
        return false;
    }
    // Anything that cannot be read whole now is not what was read or written.
    const FileRead file =
        readFileBounded(localPath.constData(), static_cast<std::uintmax_t>(kAllDataFileSize));
    if (!file.ok() || !_fileStamp) {
        return true;
    }
    const std::optional<FileStamp> now = FileStamp::of(_filePath, fromBytes(*file));
    if (!now || now->digest != _fileStamp->digest) {
        return true;
    }
    // The same content, touched: remembered so that it is not read again.
    _fileStamp = now;
    return false;
}

bool A3AllDataDocument::isStoredIn(const QString& path) const
{
    return !_filePath.isEmpty() && isSameFile(QFile::encodeName(path).constData(),
                                              QFile::encodeName(_filePath).constData());
}

bool A3AllDataDocument::renamePatch(qint64 row, const QString& name)
{
    if (row < 0 || row >= _bank.numberOfRows()) {
        return false;
    }
    // The patch as the one rule for names would store it, worked out on a
    // copy of the bank so that the edit itself is the only write.
    A3AllDataSource renamed = _bank;
    renamed.setPatchName(std::u16string_view(reinterpret_cast<const char16_t*>(name.utf16()),
                                             static_cast<std::size_t>(name.size())),
                         row);
    const std::vector<std::uint8_t> patch = renamed.patchDataAt(row);
    if (patch == _bank.patchDataAt(row)) {
        return false;
    }
    return pushEdit(tr("Rename Patch %1").arg(row + 1), {row}, patch);
}

bool A3AllDataDocument::paste(const QList<qint64>& selectedRows)
{
    const QByteArray payload = _clipboard.pastableData(_clipboardOffer->current());
    const std::vector<std::int64_t> selected(selectedRows.begin(), selectedRows.end());
    const std::vector<std::int64_t> rows = pasteRows(patchImageCount(bytesOf(payload)), selected);
    const auto count = static_cast<int>(rows.size());
    return pushEdit(count == 1 ? tr("Paste 1 Patch") : tr("Paste %1 Patches").arg(count), rows,
                    bytesOf(payload));
}

bool A3AllDataDocument::drop(const QMimeData* pasteboard, qint64 row)
{
    const QByteArray payload = _clipboard.pastableData(pasteboard);
    const std::vector<std::int64_t> rows = blockRows(patchImageCount(bytesOf(payload)), row);
    const auto count = static_cast<int>(rows.size());
    return pushEdit(count == 1 ? tr("Drop 1 Patch") : tr("Drop %1 Patches").arg(count), rows,
                    bytesOf(payload));
}

bool A3AllDataDocument::pushEdit(const QString& text, const std::vector<std::int64_t>& rows,
                                 std::span<const std::uint8_t> images)
{
    if (rows.empty()) {
        return false;
    }
    _undoStack.push(new PatchEdit(*this, text, rows, images));
    return true;
}

void A3AllDataDocument::writePatches(const std::vector<std::int64_t>& rows,
                                     std::span<const std::uint8_t> images)
{
    writePatchImages(_bank, images, rows);
    const QList<qint64> changed(rows.begin(), rows.end());
    emit bankChanged(changed);
    emit patchesEdited(changed);
}

std::unique_ptr<QMimeData> A3AllDataDocument::writeRows(const QList<qint64>& rows) const
{
    return _clipboard.writeRows(rows);
}

bool A3AllDataDocument::isPastable() const
{
    return !_clipboard.pastableData(_clipboardOffer->current()).isEmpty();
}

void A3AllDataDocument::setClipboardOffer(std::shared_ptr<ClipboardOffer> offer)
{
    _clipboardOffer = std::move(offer);
}

void A3AllDataDocument::setFilePath(const QString& path)
{
    if (path != _filePath) {
        _filePath = path;
        emit filePathChanged(_filePath);
    }
}

} // namespace a3
