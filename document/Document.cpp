#include "Document.h"

#include "AtomicFile.h"
#include "FileReader.h"
#include "PasteboardTypes.h"
#include "SameFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace a3 {

DocumentError invalidDataError()
{
    return {QString::fromLatin1(kApplicationIdentifier), 1, QStringLiteral("Invalid Data")};
}

namespace {

// Qt holds file names as text and turns each byte of a name that is not UTF-8
// into U+FFFD, so such a name no longer tells which file it meant. It is
// refused rather than used to read or replace some other file.
bool refuseLostFileName(const QString& path, DocumentError* error)
{
    if (!path.contains(QChar::ReplacementCharacter)) {
        return false;
    }
    if (error) {
        *error = {QStringLiteral("file"), 0,
                  Document::tr("The file name is not valid UTF-8 text.")};
    }
    return true;
}

} // namespace

Document::Document(QObject* parent)
    : QObject(parent)
{}

void Document::updateChangeCount(ChangeType change)
{
    const bool wasEdited = isDocumentEdited();
    _changeCount = change == ChangeDone ? _changeCount + 1 : 0;
    if (wasEdited != isDocumentEdited()) {
        emit documentEditedChanged(isDocumentEdited());
    }
}

QString Document::displayName() const
{
    if (!_fileURL.isEmpty()) {
        return QFileInfo(_fileURL.toLocalFile()).fileName();
    }
    return _untitledNumber <= 1 ? tr("Untitled") : tr("Untitled %1").arg(_untitledNumber);
}

bool Document::readFromURL(const QUrl& url, DocumentError* error)
{
    if (!readFile(url, error)) {
        return false;
    }
    setFileURL(url);
    updateChangeCount(ChangeCleared);
    return true;
}

Document::SaveOutcome Document::saveToURL(const QUrl& url, DocumentError* error)
{
    const QString path = url.toLocalFile();
    if (refuseLostFileName(path, error)) {
        return SaveOutcome::NotSaved;
    }
    // A document that cannot give its content must not replace the file.
    DocumentError dataError;
    const QByteArray data = dataOfType({}, &dataError);
    if (!dataError.description.isEmpty()) {
        if (error) {
            *error = dataError;
        }
        return SaveOutcome::NotSaved;
    }
    const QByteArray localPath = QFile::encodeName(path);
    const WriteResult written = writeFileAtomically(
        localPath.constData(), {reinterpret_cast<const std::uint8_t*>(data.constData()),
                                static_cast<std::size_t>(data.size())});
    if (error && !written.reason.empty()) {
        *error = {QStringLiteral("file"), 0, QString::fromLocal8Bit(written.reason)};
    }
    if (!written.written()) {
        return SaveOutcome::NotSaved;
    }
    _fileStamp = stampOf(path, data);
    setFileURL(url);
    updateChangeCount(ChangeCleared);
    return written.outcome == WriteResult::Outcome::Durable ? SaveOutcome::Saved
                                                            : SaveOutcome::SavedDurabilityUnknown;
}

bool Document::revertToSaved(DocumentError* error)
{
    if (_fileURL.isEmpty() || !readFile(_fileURL, error)) {
        return false;
    }
    updateChangeCount(ChangeCleared);
    return true;
}

bool Document::readFile(const QUrl& url, DocumentError* error)
{
    const QString path = url.toLocalFile();
    if (refuseLostFileName(path, error)) {
        return false;
    }
    const QByteArray localPath = QFile::encodeName(path);
    FileReadResult file =
        readFileBounded(localPath.constData(), static_cast<std::uintmax_t>(maximumFileSize()));
    switch (file.status) {
    case FileReadResult::Status::Ok:
        break;
    case FileReadResult::Status::TooLarge:
        if (error) {
            *error = invalidDataError();
        }
        return false;
    case FileReadResult::Status::Unreadable:
        if (error) {
            *error = {QStringLiteral("file"), 0, QString::fromLocal8Bit(file.error)};
        }
        return false;
    }
    const QByteArray data(reinterpret_cast<const char*>(file.bytes.data()),
                          static_cast<qsizetype>(file.bytes.size()));
    if (!readFromData(data, {}, error)) {
        return false;
    }
    _fileStamp = stampOf(path, data);
    return true;
}

bool Document::fileChangedOnDisk()
{
    if (_fileURL.isEmpty()) {
        return false;
    }
    const QString path = _fileURL.toLocalFile();
    const QByteArray localPath = QFile::encodeName(path);
    std::error_code error;
    if (!std::filesystem::exists(localPath.constData(), error)) {
        return false;
    }
    if (const std::optional<FileStamp> now = stampOf(path, {}); // size and time only
        _fileStamp && now && _fileStamp->showsUnchanged(*now)) {
        return false;
    }
    // Anything that cannot be read whole now is not what was read or written.
    const FileReadResult file =
        readFileBounded(localPath.constData(), static_cast<std::uintmax_t>(maximumFileSize()));
    if (!file.ok() || !_fileStamp) {
        return true;
    }
    const QByteArray content(reinterpret_cast<const char*>(file.bytes.data()),
                             static_cast<qsizetype>(file.bytes.size()));
    const std::optional<FileStamp> now = stampOf(path, content);
    if (!now || now->digest != _fileStamp->digest) {
        return true;
    }
    // The same content, touched: remembered so that it is not read again.
    _fileStamp = now;
    return false;
}

bool Document::isStoredIn(const QString& path) const
{
    return !_fileURL.isEmpty() && isSameFile(QFile::encodeName(path).constData(),
                                             QFile::encodeName(_fileURL.toLocalFile()).constData());
}

std::optional<Document::FileStamp> Document::stampOf(const QString& path, const QByteArray& content)
{
    const std::filesystem::path file(QFile::encodeName(path).constData());
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(file, error);
    if (!error) {
        stamp.modified = std::filesystem::last_write_time(file, error);
    }
    if (error) {
        return std::nullopt;
    }
    stamp.taken = std::filesystem::file_time_type::clock::now();
    stamp.digest = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
    return stamp;
}

void Document::setFileURL(const QUrl& url)
{
    if (url != _fileURL) {
        _fileURL = url;
        emit fileURLChanged(_fileURL);
    }
}

} // namespace a3
