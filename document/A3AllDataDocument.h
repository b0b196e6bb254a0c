#pragma once

#include "A3AllDataSource.h"
#include "AtomicFile.h"
#include "FileStamp.h"
#include "PatchClipboard.h"

#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QString>
#include <QUndoStack>
#include <memory>
#include <optional>
#include <span>

class QMimeData;

namespace a3 {

class ClipboardOffer;

// Why a file could not be read, in words for the user: the reason, and for a
// file that is no bank the reader's own words on what is wrong with it.
struct FileProblem
{
    QString reason;
    QString detail;
};

// Qt holds file names as text and turns each byte of a name that is not UTF-8
// into U+FFFD, so such a name no longer tells which file it meant: it is
// refused rather than used to read or replace some other file.
bool isLostFileName(const QString& path);
// Why such a name is refused, in words for the user.
QString lostFileNameReason();

// One patch bank as a document: the bank, the file it is stored in, and the
// edits made to it since, each an undo step. Whether the document has unsaved
// changes is whether its undo stack is away from the state last saved.
class A3AllDataDocument : public QObject
{
    Q_OBJECT

public:
    explicit A3AllDataDocument(A3AllDataSource bank = A3AllDataSource::fallbackBank(),
                               QObject* parent = nullptr);
    ~A3AllDataDocument() override;

    const A3AllDataSource& bank() const { return _bank; }
    QUndoStack& undoStack() { return _undoStack; }
    bool isModified() const { return !_undoStack.isClean(); }
    // Modified until saved, with nothing to undo: for a bank that came from
    // somewhere other than its file.
    void setModified() { _undoStack.resetClean(); }

    // The file the document is stored in; empty until it is first saved.
    QString filePath() const { return _filePath; }
    // The file's name, or "Untitled" (then "Untitled 2", ...) for a new one,
    // or "<source> — imported" for a bank taken from another file,
    // "<source> — recovered" for the patches recovered from a damaged dump
    // and "<source> — received" for a bank the device sent.
    QString displayName() const;
    void setUntitledNumber(int number) { _untitledNumber = number; }
    enum class Taken
    {
        Imported,
        Recovered,
        Received, // as the device sent it, kept in the Received folder
    };
    // A bank that came out of something other than its own file (a MIDI
    // file, an archive, a dump cut short), which is never saved over: named
    // after source until first saved, and saved by default to suggestedPath.
    // origin says in full where it was found ("/home/me/Factory.zip › bank
    // 2.syx"), so that taking the same again finds this document.
    void setTakenFrom(Taken how, const QString& source, const QString& suggestedPath,
                      const QString& origin = {});
    // Whether the document is, unsaved, the bank imported or received from
    // origin.
    bool isTakenFrom(const QString& origin) const;
    // Where Save As offers to put a document without a file; empty for none.
    QString suggestedPath() const { return _suggestedPath; }

    // Reads the whole file into the document and makes it the document's
    // file; on failure nothing changes.
    Result<void, FileProblem> load(const QString& path);
    // Reads the document's file again, dropping every edit; on failure
    // nothing changes.
    Result<void, FileProblem> reload();
    // Writes the bank to the file atomically, checksums recomputed, and makes
    // it the document's file, saved, once written; when not, the document
    // keeps its file and its modified state.
    WriteResult save(const QString& path);

    // Whether another program changed the content of the document's file
    // since the document last read or wrote it. A file whose size and
    // modification time are as they were is not read again; one touched
    // without a change of content (a backup or sync tool, a checkout) is not
    // changed. False when the document has no file or the file is gone.
    bool fileChangedOnDisk();
    // Whether path names the document's file, under any of its names.
    bool isStoredIn(const QString& path) const;

    // The edits, each one undo step; false, with nothing pushed, when the
    // edit does not apply.
    // Stores a name as storablePatchName() gives it; false when that is the
    // name the patch has.
    [[nodiscard]] bool renamePatch(qint64 row, const QString& name);
    // Pastes the clipboard's patches onto the selected rows (ascending), one
    // each, or as a block from the one selected row.
    [[nodiscard]] bool paste(const QList<qint64>& selectedRows);
    // Writes a dropped pasteboard's patches as a block from row on.
    [[nodiscard]] bool drop(const QMimeData* pasteboard, qint64 row);

    // A pasteboard with the rows' patches and their text form.
    std::unique_ptr<QMimeData> writeRows(const QList<qint64>& rows) const;
    // Whether the clipboard holds patches this bank would take.
    bool isPastable() const;
    // Where the clipboard's offer is read: shared, so that every window reads
    // a clipboard change once. A document reads through its own until given one.
    void setClipboardOffer(std::shared_ptr<ClipboardOffer> offer);

    // The paper and margins the listing is printed with; nothing until the
    // user chose them or the first print took the default ones.
    std::optional<QPageLayout> pageLayout() const { return _pageLayout; }
    void setPageLayout(const QPageLayout& layout) { _pageLayout = layout; }

signals:
    // The patches of these rows may have changed.
    void bankChanged(const QList<qint64>& rows);
    // An edit, its undo or its redo rewrote these rows.
    void patchesEdited(const QList<qint64>& rows);
    // The chain checksum the bank holds changed: a new bank, or a save.
    void chainIdChanged();
    void modificationChanged(bool modified);
    void filePathChanged(const QString& path);

private:
    class PatchEdit;

    Result<void, FileProblem> read(const QString& path);
    Result<void, FileProblem> take(std::span<const std::uint8_t> content);
    bool pushEdit(const QString& text, const std::vector<std::int64_t>& rows,
                  std::span<const std::uint8_t> images);
    void writePatches(const std::vector<std::int64_t>& rows, std::span<const std::uint8_t> images);
    void setFilePath(const QString& path);

    A3AllDataSource _bank;
    QUndoStack _undoStack;
    PatchClipboard _clipboard;
    std::shared_ptr<ClipboardOffer> _clipboardOffer;
    QString _filePath;
    std::optional<FileStamp> _fileStamp; // of the document's file as last read or written
    int _untitledNumber = 1;
    QString _takenFrom;
    QString _origin;
    Taken _taken = Taken::Imported;
    QString _suggestedPath;
    std::optional<QPageLayout> _pageLayout;
};

} // namespace a3
