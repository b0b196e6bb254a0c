#include "A3AllDataDocument.h"

#include "PasteboardTypes.h"
#include "PatchBlock.h"
#include "PatchNameDelegate.h"
#include "PatchTableModel.h"
#include "PatchText.h"
#include "TableView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace a3 {
namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

} // namespace

A3AllDataDocument::A3AllDataDocument(QObject* parent)
    : A3AllDataDocument(factoryBankPath(), parent)
{}

A3AllDataDocument::A3AllDataDocument(const std::filesystem::path& factoryBankFile, QObject* parent)
    : Document(parent)
    , _a3AllDataSource(std::make_unique<A3AllDataSource>(factoryBankFile))
    , _tableModel(std::make_unique<PatchTableModel>(*this))
    , _clipboard(*_a3AllDataSource)
    , _clipboardOffer(std::make_shared<ClipboardOffer>(QGuiApplication::clipboard()))
{}

A3AllDataDocument::~A3AllDataDocument() = default;

QWidget* A3AllDataDocument::makeWindowContent()
{
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    _chainIdLabel = new QLabel(content);
    _chainIdLabel->setObjectName(QStringLiteral("chainIdLabel"));
    _chainIdLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    _patchTableView = new TableView(content);
    _patchTableView->setObjectName(QStringLiteral("patchTableView"));
    _patchTableView->setModel(_tableModel.get());
    _patchTableView->setItemDelegateForColumn(
        PatchTableModel::columnForIdentifier(QStringLiteral("name")),
        new PatchNameDelegate(_patchTableView));
    layout->addWidget(_chainIdLabel);
    layout->addWidget(_patchTableView);
    // The table takes drops of the types its model names: the patch type and
    // plain text. Every transfer is a copy.
    _patchTableView->setDragDropMode(QAbstractItemView::DragDrop);
    _patchTableView->setDefaultDropAction(Qt::CopyAction);
    updateUI();
    return content;
}

void A3AllDataDocument::updateUI()
{
    showChainId();
    if (_patchTableView) {
        _tableModel->reload();
    }
}

void A3AllDataDocument::showChainId()
{
    if (_chainIdLabel) {
        _chainIdLabel->setText(
            QString::fromStdString(chainIdText(_a3AllDataSource->chainChecksum())));
    }
}

bool A3AllDataDocument::readFromData(const QByteArray& data, const QString& /*typeName*/,
                                     DocumentError* error)
{
    if (!_a3AllDataSource->setSyxData(bytesOf(data))) {
        if (error) {
            *error = invalidDataError();
        }
        return false;
    }
    updateUI();
    return true;
}

QByteArray A3AllDataDocument::dataOfType(const QString& /*typeName*/, DocumentError* error)
{
    if (error) {
        *error = {};
    }
    // Encoded straight into the buffer that is saved: written once, not copied.
    QByteArray file(static_cast<qsizetype>(kAllDataFileSize), Qt::Uninitialized);
    _a3AllDataSource->writeSyxData(std::span<std::uint8_t, kAllDataFileSize>(
        reinterpret_cast<std::uint8_t*>(file.data()), kAllDataFileSize));
    // Saving recomputes the chain checksum; the field shows the bank as it is
    // now, which is also what the clipboard keys chain-linked patches with.
    showChainId();
    return file;
}

qint64 A3AllDataDocument::maximumFileSize() const
{
    return static_cast<qint64>(kAllDataFileSize);
}

bool A3AllDataDocument::patchTableHasFocus() const
{
    return _patchTableView && _patchTableView->holdsCommandFocus();
}

bool A3AllDataDocument::validateMenuItem(MenuAction action) const
{
    // A name still being typed is an unsaved change too: the commands store
    // it before they run.
    const bool edited =
        isDocumentEdited() || (_patchTableView && _patchTableView->hasPendingEdit());
    switch (action) {
    case MenuAction::Copy:
        return patchTableHasFocus() && !_patchTableView->selectedRowIndexes().isEmpty();
    case MenuAction::Paste:
        return patchTableHasFocus() && isPastable();
    case MenuAction::Revert:
        return edited && !fileURL().isEmpty();
    case MenuAction::Save:
        return edited || fileURL().isEmpty();
    case MenuAction::Other:
        break;
    }
    return true;
}

bool A3AllDataDocument::isPastable() const
{
    return !_clipboard.pastableData(_clipboardOffer->current()).isEmpty();
}

void A3AllDataDocument::setClipboardOffer(std::shared_ptr<ClipboardOffer> offer)
{
    _clipboardOffer = std::move(offer);
}

void A3AllDataDocument::copy()
{
    if (!patchTableHasFocus()) {
        return;
    }
    QGuiApplication::clipboard()->setMimeData(
        writeRows(_patchTableView->selectedRowIndexes()).release());
}

void A3AllDataDocument::paste()
{
    if (!patchTableHasFocus()) {
        return;
    }
    pastePayload(_clipboard.pastableData(_clipboardOffer->current()), _patchTableView, -1);
}

std::unique_ptr<QMimeData> A3AllDataDocument::writeRows(const QList<qint64>& rows) const
{
    return _clipboard.writeRows(rows);
}

bool A3AllDataDocument::readFromPasteboard(const QMimeData* pasteboard, const TableView* tableView,
                                           qint64 row)
{
    return pastePayload(_clipboard.pastableData(pasteboard), tableView, row);
}

bool A3AllDataDocument::pastePayload(const QByteArray& payload, const TableView* tableView,
                                     qint64 row)
{
    if (payload.isEmpty()) {
        return false;
    }
    const QList<qint64> selected = tableView ? tableView->selectedRowIndexes() : QList<qint64>{};
    const qint64 patchCount = patchImageCount(bytesOf(payload));
    bool written = false;
    if (row != -1) {
        written = writePatchBlock(*_a3AllDataSource, bytesOf(payload), row);
    } else if (patchCount == selected.size()) {
        const std::vector<std::int64_t> rows(selected.begin(), selected.end());
        written = writePatchImagesToRows(*_a3AllDataSource, bytesOf(payload), rows);
    } else if (selected.size() == 1) {
        written = writePatchBlock(*_a3AllDataSource, bytesOf(payload), selected.front());
    }
    if (written) {
        _tableModel->reload();
        updateChangeCount(ChangeDone);
    }
    return written;
}

} // namespace a3
