#include "SetsPanel.h"

#include "PasteboardTypes.h"
#include "Sounds.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace a3 {
namespace {

using library::SetId;
using library::Sound;

constexpr int kIdRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1; // a set's name, without its count

template <typename T>
Outcome outcomeOf(const Result<T>& result)
{
    return result.ok() ? Outcome() : Outcome(result.failure());
}

// A list that takes patches dropped on it, and hands them, with the row
// they were dropped at, to dropped; a drag within the list too, for
// ordering. It changes nothing itself: the lists show what the database
// holds once the change is made.
class DropList : public QListWidget
{
public:
    using Dropped = std::function<void(const QDropEvent& event, int row)>;
    explicit DropList(Dropped dropped)
        : _dropped(std::move(dropped))
    {
        setAcceptDrops(true);
        setDropIndicatorShown(true);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->source() == this || !soundsOnPasteboard(event->mimeData()).empty()) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        }
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        QListWidget::dragMoveEvent(event);
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
    void dropEvent(QDropEvent* event) override
    {
        const QModelIndex at = indexAt(event->position().toPoint());
        int row = at.isValid() ? at.row() : count();
        if (at.isValid() && dropIndicatorPosition() == BelowItem) {
            ++row;
        }
        // A copy, never a move: the items stay as they are until the
        // database says otherwise.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        _dropped(*event, row);
    }

private:
    Dropped _dropped;
};

QAction* addListAction(QWidget* list, const QString& text, const QKeySequence& keys,
                       std::function<void()> handler)
{
    auto* action = new QAction(text, list);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(action, &QAction::triggered, list, std::move(handler));
    list->addAction(action);
    return action;
}

std::vector<std::size_t> selectedRows(const QListWidget& list)
{
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : list.selectionModel()->selectedIndexes()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::ranges::sort(rows);
    return rows;
}

} // namespace

std::vector<Sound> soundsOnPasteboard(const QMimeData* pasteboard)
{
    std::vector<Sound> sounds;
    if (!pasteboard) {
        return sounds;
    }
    for (const QString& format : pasteboard->formats()) {
        const std::optional<PatchTypeChain> chain = patchTypeChain(format);
        const QByteArray images = chain ? pasteboard->data(format) : QByteArray();
        if (images.isEmpty() || images.size() % static_cast<qsizetype>(kPatchSize) != 0) {
            continue;
        }
        for (qsizetype at = 0; at < images.size(); at += static_cast<qsizetype>(kPatchSize)) {
            Sound& sound = sounds.emplace_back();
            std::copy_n(images.constData() + at, kPatchSize, sound.patch.begin());
            sound.chainId = chain->chainChecksum;
        }
        return sounds;
    }
    return sounds;
}

SetsPanel::SetsPanel(Sounds& sounds, QWidget* parent)
    : QWidget(parent)
    , _sounds(sounds)
    , _smartLists(new QListWidget)
    , _sets(new DropList([this](const QDropEvent& event, int) {
        // Onto the set under the pointer, whichever half of it: the row a
        // drop would go before means nothing here.
        const QListWidgetItem* target = _sets->itemAt(event.position().toPoint());
        if (target && event.source() != _sets) {
            addToSet(target->data(kIdRole).toLongLong(), soundsOnPasteboard(event.mimeData()));
        }
    }))
    , _entries(new DropList([this](const QDropEvent& event, int row) {
        const std::optional<SetId> set = selectedSet();
        if (!set) {
            return;
        }
        const auto to = static_cast<std::size_t>(row);
        if (event.source() == _entries) {
            change(
                [set, positions = selectedRows(*_entries), to](library::SoundsDatabase& database) {
                    return outcomeOf(database.moveInSet(*set, positions, to));
                },
                tr("The set could not be ordered so."));
        } else {
            change(
                [set, sounds = soundsOnPasteboard(event.mimeData()),
                 to](library::SoundsDatabase& database) {
                    return outcomeOf(database.addToSet(*set, sounds, to));
                },
                tr("The sounds could not be added to the set."));
        }
    }))
    , _newBank(new QPushButton(tr("New Bank from Set")))
{
    _entries->setSelectionMode(QAbstractItemView::ExtendedSelection);
    _entries->setDragEnabled(true);
    _entries->setDefaultDropAction(Qt::CopyAction);

    auto* keep = new QPushButton(tr("Keep Search…"));
    keep->setObjectName(QStringLiteral("keepSearch"));
    auto* newSetButton = new QPushButton(tr("New Set…"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Smart lists:")));
    layout->addWidget(_smartLists, 1);
    layout->addWidget(keep);
    layout->addWidget(new QLabel(tr("Sets:")));
    layout->addWidget(_sets, 1);
    layout->addWidget(newSetButton);
    layout->addWidget(new QLabel(tr("In the set:")));
    layout->addWidget(_entries, 2);
    layout->addWidget(_newBank);

    for (QListWidget* list : {_smartLists, _sets}) {
        list->setContextMenuPolicy(Qt::ActionsContextMenu);
        addListAction(list, tr("Rename…"), QKeySequence(Qt::Key_F2),
                      [this, list] { renameSelected(*list); });
        addListAction(list, tr("Delete"), QKeySequence::Delete,
                      [this, list] { deleteSelected(*list); });
    }
    _entries->setContextMenuPolicy(Qt::ActionsContextMenu);
    addListAction(_entries, tr("Remove from Set"), QKeySequence::Delete,
                  [this] { removeSelectedEntries(); });
    addListAction(_entries, tr("Paste"), QKeySequence::Paste, [this] {
        if (const std::optional<SetId> set = selectedSet()) {
            addToSet(*set, soundsOnPasteboard(QApplication::clipboard()->mimeData()));
        }
    });

    connect(keep, &QPushButton::clicked, this, &SetsPanel::keepSearchRequested);
    connect(newSetButton, &QPushButton::clicked, this, &SetsPanel::newSet);
    connect(_smartLists, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        emit searchChosen(item->data(Qt::ToolTipRole).toString());
    });
    connect(_sets, &QListWidget::currentRowChanged, this, &SetsPanel::showEntries);
    connect(_newBank, &QPushButton::clicked, this, [this] {
        if (const SetsState::Set* set =
                selectedSet() ? _sounds.sets().find(*selectedSet()) : nullptr) {
            emit newBankRequested(set->sounds);
        }
    });
    connect(&_sounds, &Sounds::setsChanged, this, &SetsPanel::showSets);
    connect(&_sounds, &Sounds::changeFailed, this, [this] { _selectWhenShown.clear(); });
    showSets();
}

std::optional<SetId> SetsPanel::selectedSet() const
{
    const QListWidgetItem* item = _sets->currentItem();
    return item ? std::optional(item->data(kIdRole).toLongLong()) : std::nullopt;
}

void SetsPanel::showSets()
{
    const std::optional<SetId> selected = selectedSet();
    const QString list =
        _smartLists->currentItem() ? _smartLists->currentItem()->text() : QString();
    _smartLists->clear();
    for (const library::SmartList& smart : _sounds.sets().smartLists) {
        auto* item = new QListWidgetItem(QString::fromStdString(smart.name), _smartLists);
        item->setData(kIdRole, static_cast<qlonglong>(smart.id));
        // The search itself, as typed: plain text, as every tooltip of a name.
        item->setData(Qt::ToolTipRole, QString::fromStdString(smart.query));
        if (item->text() == list) {
            _smartLists->setCurrentItem(item);
        }
    }
    const QSignalBlocker quiet(_sets);
    _sets->clear();
    for (const SetsState::Set& set : _sounds.sets().sets) {
        auto* item = new QListWidgetItem(tr("%1 (%2)").arg(set.name).arg(set.sounds.size()), _sets);
        item->setData(kIdRole, static_cast<qlonglong>(set.id));
        item->setData(kNameRole, set.name);
        if (set.name == _selectWhenShown) {
            // Sets read before it was made may be shown first: wait for it.
            _selectWhenShown.clear();
            _sets->setCurrentItem(item);
        } else if (selected == set.id && _selectWhenShown.isEmpty()) {
            _sets->setCurrentItem(item);
        }
    }
    showEntries();
}

void SetsPanel::showEntries()
{
    _entries->clear();
    const SetsState::Set* set = selectedSet() ? _sounds.sets().find(*selectedSet()) : nullptr;
    _newBank->setEnabled(set && !set->sounds.empty());
    if (!set) {
        return;
    }
    int number = 0;
    for (const Sound& sound : set->sounds) {
        _entries->addItem(QStringLiteral("%1  %2").arg(++number).arg(
            QString::fromStdString(patchName(sound.patch)).trimmed()));
    }
}

void SetsPanel::change(std::function<Outcome(library::SoundsDatabase&)> work,
                       const QString& failure)
{
    _sounds.changeSets(std::move(work), failure);
}

void SetsPanel::addToSet(SetId set, std::vector<Sound> sounds)
{
    if (sounds.empty()) {
        return;
    }
    change(
        [set, sounds = std::move(sounds)](library::SoundsDatabase& database) {
            return outcomeOf(database.addToSet(set, sounds));
        },
        tr("The sounds could not be added to the set."));
}

void SetsPanel::askName(const QString& title, const QString& label, const QString& name,
                        std::function<void(const std::string&)> named)
{
    auto* dialog = new QInputDialog(window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextValue(name);
    connect(
        dialog, &QInputDialog::textValueSelected, this,
        [named = std::move(named)](const QString& text) { named(text.trimmed().toStdString()); });
    dialog->open();
}

void SetsPanel::newSet()
{
    askName(tr("New Set"), tr("Name of the new set:"), {}, [this](const std::string& name) {
        _selectWhenShown = QString::fromStdString(name);
        change(
            [name](library::SoundsDatabase& database) {
                return outcomeOf(database.createSet(name));
            },
            tr("The set could not be made."));
    });
}

void SetsPanel::keepSearch(const QString& search)
{
    askName(tr("Keep Search"), tr("Name of the smart list for “%1”:").arg(search), search,
            [this, query = search.toStdString()](const std::string& name) {
                change(
                    [name, query](library::SoundsDatabase& database) {
                        return outcomeOf(database.saveSmartList(name, query));
                    },
                    tr("The search could not be kept."));
            });
}

std::optional<SetsPanel::Chosen> SetsPanel::chosenIn(const QListWidget& list) const
{
    const QListWidgetItem* item = list.currentItem();
    if (!item) {
        return std::nullopt;
    }
    const bool isSet = &list == _sets;
    return Chosen{item->data(kIdRole).toLongLong(), isSet,
                  isSet ? item->data(kNameRole).toString() : item->text()};
}

void SetsPanel::renameSelected(QListWidget& list)
{
    const std::optional<Chosen> chosen = chosenIn(list);
    if (!chosen) {
        return;
    }
    const auto [id, isSet, name] = *chosen;
    askName(tr("Rename"), tr("New name of “%1”:").arg(name), name,
            [this, id, isSet](const std::string& newName) {
                change(
                    [id, isSet, newName](library::SoundsDatabase& database) {
                        return isSet ? database.renameSet(id, newName)
                                     : database.renameSmartList(id, newName);
                    },
                    tr("It could not be renamed."));
            });
}

void SetsPanel::deleteSelected(QListWidget& list)
{
    const std::optional<Chosen> chosen = chosenIn(list);
    if (!chosen) {
        return;
    }
    const auto [id, isSet, name] = *chosen;
    // A set is the user's own work, and no undo brings it back: asked first.
    auto* question = new QMessageBox(
        QMessageBox::Question,
        isSet ? tr("Delete the set “%1”?").arg(name) : tr("Delete the smart list “%1”?").arg(name),
        isSet ? tr("Its sounds stay in your banks; the set and its order are gone.")
              : tr("The search it keeps is gone; nothing else changes."),
        QMessageBox::Cancel, window());
    question->setTextFormat(Qt::PlainText);
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* remove = question->addButton(tr("Delete"), QMessageBox::DestructiveRole);
    question->setDefaultButton(QMessageBox::Cancel);
    connect(question, &QMessageBox::finished, this, [this, question, remove, id, isSet] {
        if (question->clickedButton() != remove) {
            return;
        }
        change(
            [id, isSet](library::SoundsDatabase& database) {
                return isSet ? database.deleteSet(id) : database.deleteSmartList(id);
            },
            tr("It could not be deleted."));
    });
    question->open();
}

void SetsPanel::removeSelectedEntries()
{
    const std::optional<SetId> set = selectedSet();
    std::vector<std::size_t> rows = selectedRows(*_entries);
    if (!set || rows.empty()) {
        return;
    }
    change([set,
            rows](library::SoundsDatabase& database) { return database.removeFromSet(*set, rows); },
           tr("The sounds could not be removed from the set."));
}

} // namespace a3
