#pragma once

#include "A3AllDataSource.h"
#include "ClipboardOffer.h"
#include "Document.h"
#include "PatchClipboard.h"
#include "TableView.h"

#include <QLabel>
#include <QPageLayout>
#include <QPointer>
#include <memory>
#include <optional>

namespace a3 {

class PatchTableModel;

// The commands whose enabling the document decides.
enum class MenuAction
{
    Copy,
    Paste,
    Save,
    Revert,
    Other,
};

// One patch bank as a document: it owns the bank for its whole life, builds
// the window content that shows it, and decides which commands are enabled.
class A3AllDataDocument : public Document
{
    Q_OBJECT

public:
    explicit A3AllDataDocument(QObject* parent = nullptr);
    // For tests and tools: a bank started from the given factory bank file.
    explicit A3AllDataDocument(const std::filesystem::path& factoryBankFile,
                               QObject* parent = nullptr);
    ~A3AllDataDocument() override;

    A3AllDataSource& dataSource() { return *_a3AllDataSource; }
    const A3AllDataSource& dataSource() const { return *_a3AllDataSource; }
    PatchTableModel& tableModel() { return *_tableModel; }

    // Builds the window's content (the chain-ID field and the patch table),
    // which the caller owns; the document keeps only non-owning references.
    QWidget* makeWindowContent();
    TableView* patchTableView() const { return _patchTableView; }
    QLabel* chainIdLabel() const { return _chainIdLabel; }

    // Refreshes the window from the bank: chain ID, table, scrolled to the top.
    void updateUI();

    bool readFromData(const QByteArray& data, const QString& typeName,
                      DocumentError* error) override;
    QByteArray dataOfType(const QString& typeName, DocumentError* error) override;
    qint64 maximumFileSize() const override;

    bool validateMenuItem(MenuAction action) const;
    // Whether the clipboard holds patches this bank would take.
    bool isPastable() const;
    // Where the clipboard's offer is read: shared, so that every window reads
    // a clipboard change once. A document reads through its own until given one.
    void setClipboardOffer(std::shared_ptr<ClipboardOffer> offer);

    // Edit > Copy and Edit > Paste; both act only while the patch table has
    // the focus.
    void copy();
    void paste();
    // A pasteboard with the rows' patches and their text form.
    std::unique_ptr<QMimeData> writeRows(const QList<qint64>& rows) const;
    // Pastes the pasteboard's patches onto the rows from row down, or, with
    // row -1, onto the table's selected rows. Returns whether any patch was
    // written; only then is the document marked edited.
    bool readFromPasteboard(const QMimeData* pasteboard, const TableView* tableView, qint64 row);

    // The paper and margins the listing is printed with; nothing until the
    // user chose them or the first print took the default ones.
    std::optional<QPageLayout> pageLayout() const { return _pageLayout; }
    void setPageLayout(const QPageLayout& layout) { _pageLayout = layout; }

private:
    void showChainId();
    bool patchTableHasFocus() const;
    bool pastePayload(const QByteArray& payload, const TableView* tableView, qint64 row);

    std::unique_ptr<A3AllDataSource> _a3AllDataSource;
    std::unique_ptr<PatchTableModel> _tableModel;
    PatchClipboard _clipboard;
    std::shared_ptr<ClipboardOffer> _clipboardOffer;
    QPointer<TableView> _patchTableView;
    QPointer<QLabel> _chainIdLabel;
    std::optional<QPageLayout> _pageLayout;
};

} // namespace a3
