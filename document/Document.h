#pragma once

#include "DocumentError.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <filesystem>
#include <optional>

namespace a3 {

// What every document has, whatever it holds: the file it is stored in, the
// name the user knows it by, and whether it has unsaved changes. Subclasses
// only turn bytes into content and back; the whole file is read and written
// here, and writing never leaves a partial file.
class Document : public QObject
{
    Q_OBJECT

public:
    enum ChangeType
    {
        ChangeDone,    // one edit made
        ChangeCleared, // the content now matches the file
    };

    explicit Document(QObject* parent = nullptr);

    bool isDocumentEdited() const { return _changeCount != 0; }
    void updateChangeCount(ChangeType change);

    // The file the document is stored in; empty until it is first saved.
    QUrl fileURL() const { return _fileURL; }
    // The file's name, or "Untitled" (then "Untitled 2", ...) for a new one.
    QString displayName() const;
    void setUntitledNumber(int number) { _untitledNumber = number; }

    // Reads the whole file into the document and makes it the document's file.
    bool readFromURL(const QUrl& url, DocumentError* error);
    enum class SaveOutcome
    {
        Saved,
        SavedDurabilityUnknown, // written, but a crash may yet undo it: the error says why
        NotSaved,
    };
    // Writes the document to the file atomically and makes it the document's
    // file once written; when not, the document keeps its file and its
    // edited state.
    SaveOutcome saveToURL(const QUrl& url, DocumentError* error);
    // Reads the document's file again; on failure nothing changes.
    bool revertToSaved(DocumentError* error);
    // Whether another program changed the content of the document's file
    // since the document last read or wrote it. A file whose size and
    // modification time are as they were is not read again; one touched
    // without a change of content (a backup or sync tool, a checkout) is not
    // changed. False when the document has no file or the file is gone.
    bool fileChangedOnDisk();
    // Whether path names the document's file, under any of its names.
    bool isStoredIn(const QString& path) const;

    virtual bool readFromData(const QByteArray& data, const QString& typeName,
                              DocumentError* error) = 0;
    virtual QByteArray dataOfType(const QString& typeName, DocumentError* error) = 0;
    // The largest file worth reading; anything larger is refused unread.
    virtual qint64 maximumFileSize() const = 0;

signals:
    void documentEditedChanged(bool edited);
    void fileURLChanged(const QUrl& fileURL);

private:
    // What tells one version of a file from another, without keeping its
    // content: size and time say whether it may have changed, the digest
    // whether it did.
    struct FileStamp
    {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        std::filesystem::file_time_type taken; // when the stamp was made
        QByteArray digest;

        // Whether a file now stamped as now is the file this stamp was made
        // of, without reading it. A file's time has the granularity of the
        // system's clock tick: a write in the tick of the stamp itself leaves
        // the time as it was, so a stamp made that close proves nothing.
        bool showsUnchanged(const FileStamp& now) const
        {
            return size == now.size && modified == now.modified &&
                   modified + std::chrono::seconds(2) < taken;
        }
    };
    static std::optional<FileStamp> stampOf(const QString& path, const QByteArray& content);

    bool readFile(const QUrl& url, DocumentError* error);
    void setFileURL(const QUrl& url);

    int _changeCount = 0;
    std::optional<FileStamp> _fileStamp; // of the document's file as last read or written
    QUrl _fileURL;
    int _untitledNumber = 1;
};

} // namespace a3
