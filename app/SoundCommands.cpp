#include "SoundCommands.h"

#include "Sounds.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStringListModel>
#include <QVBoxLayout>
#include <algorithm>

namespace a3 {
namespace {

using library::Favourite;
using library::Sound;
using library::SoundData;

// Completes the word being typed from the tags in use, the words before it
// kept.
class TagCompleter : public QCompleter
{
public:
    TagCompleter(const QStringList& tags, QObject* parent)
        : QCompleter(tags, parent)
    {
        setCaseSensitivity(Qt::CaseInsensitive);
    }

    QStringList splitPath(const QString& path) const override
    {
        return {path.section(QLatin1Char(' '), -1)};
    }

    QString pathFromIndex(const QModelIndex& index) const override
    {
        const QString text = qobject_cast<QLineEdit*>(widget())->text();
        const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
        return text.left(space + 1) + QCompleter::pathFromIndex(index);
    }
};

// What every one of datas holds of a value, or nothing when they differ.
template <typename Value, typename Get>
std::optional<Value> common(const std::vector<const SoundData*>& datas, Get get)
{
    static const SoundData kNothingSaid;
    std::optional<Value> found;
    for (const SoundData* data : datas) {
        Value value = get(data ? *data : kNothingSaid);
        if (found && *found != value) {
            return std::nullopt;
        }
        found = std::move(value);
    }
    return found;
}

} // namespace

SoundCommands::SoundCommands(Sounds& sounds, QAbstractItemView& table, Selection selection,
                             Keys keys, QMenu* menu)
    : QObject(menu)
    , _sounds(&sounds)
    , _table(table)
    , _selection(std::move(selection))
    , _keys(keys)
{
    _favourite = add(menu, tr("&Favourite"), QStringLiteral("F"),
                     [this] { markFavourite(Favourite::Yes, tr("Mark as Favourite")); });
    add(menu, tr("&Not a Favourite"), QStringLiteral("X"),
        [this] { markFavourite(Favourite::No, tr("Mark as Not a Favourite")); });
    QMenu* rating = menu->addMenu(tr("&Rating"));
    for (int stars = library::kHighestRating; stars >= 1; --stars) {
        add(rating, QString(stars, QChar(0x2605)), QString::number(stars),
            [this, stars] { rate(stars); });
    }
    add(rating, tr("No Rating"), QStringLiteral("0"), [this] { rate(library::kNoRating); });
    menu->addSeparator();
    _tags = add(menu, tr("&Tags…"), QStringLiteral("T"), [this] { editTags(); });
    _note = add(menu, tr("N&ote…"), QStringLiteral("N"), [this] { editNote(); });

    connect(_table.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SoundCommands::updateEnabled);
    connect(_table.model(), &QAbstractItemModel::modelReset, this, &SoundCommands::updateEnabled);
    updateEnabled();
}

QAction* SoundCommands::add(QMenu* menu, const QString& text, const QString& key,
                            const std::function<void()>& handler)
{
    QAction* action = menu->addAction(text, this, handler);
    action->setShortcut(
        QKeySequence(_keys == Keys::Plain ? key : QStringLiteral("Ctrl+Shift+") + key));
    // The keys act where the rows are, and nowhere else in the window.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    _table.addAction(action);
    _actions.push_back(action);
    return action;
}

void SoundCommands::updateEnabled()
{
    const bool any = _table.selectionModel() && _table.selectionModel()->hasSelection();
    for (QAction* action : _actions) {
        action->setEnabled(any);
    }
}

void SoundCommands::markFavourite(Favourite favourite, const QString& what)
{
    if (!_sounds) {
        return;
    }
    std::vector<Sound> sounds = _selection();
    // Asked again of sounds that all are so already, it takes the decision
    // back: the key toggles.
    const bool allSo = std::ranges::all_of(sounds, [&](const Sound& sound) {
        const SoundData* data = _sounds->dataOf(sound.key());
        return data && data->favourite == favourite;
    });
    library::SoundChange change;
    change.favourite = allSo ? Favourite::Undecided : favourite;
    _sounds->change(std::move(sounds), std::move(change), allSo ? tr("Mark as Undecided") : what);
}

void SoundCommands::rate(int rating)
{
    if (!_sounds) {
        return;
    }
    library::SoundChange change;
    change.rating = rating;
    _sounds->change(_selection(), std::move(change),
                    rating == library::kNoRating
                        ? tr("Remove Rating")
                        : tr("Rate %1").arg(QString(rating, QChar(0x2605))));
}

void SoundCommands::editTags()
{
    std::vector<Sound> sounds = _selection();
    if (sounds.empty() || !_sounds) {
        return;
    }
    // The tags every selected sound has; those only some have are left as
    // they are.
    std::vector<std::string> shown;
    const SoundData* first = _sounds->dataOf(sounds.front().key());
    for (const std::string& tag : first ? first->tags : std::vector<std::string>()) {
        if (std::ranges::all_of(sounds, [&](const Sound& sound) {
                const SoundData* data = _sounds->dataOf(sound.key());
                return data && data->hasTag(tag);
            })) {
            shown.push_back(tag);
        }
    }
    QStringList shownText;
    for (const std::string& tag : shown) {
        shownText.append(QString::fromStdString(tag));
    }

    auto* dialog = new QDialog(_table.window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(sounds.size() == 1 ? tr("Tags")
                                              : tr("Tags of %1 Sounds").arg(sounds.size()));
    auto* field = new QLineEdit(shownText.join(QLatin1Char(' ')));
    field->setCompleter(new TagCompleter(_sounds->tagsInUse(), field));
    auto* problem = new QLabel;
    problem->setTextFormat(Qt::PlainText);
    problem->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(dialog);
    auto* explanation = new QLabel(tr("Words of letters, digits, - _ and ., separated by spaces:"));
    layout->addWidget(explanation);
    layout->addWidget(field);
    layout->addWidget(problem);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog,
            [this, dialog, field, problem, shown, sounds = std::move(sounds)]() mutable {
                auto change = library::tagsEdited(shown, field->text().toStdString());
                if (!change.ok()) {
                    problem->setText(QString::fromStdString(change.failure().reason));
                    problem->show();
                    return;
                }
                dialog->accept();
                if (!change->addTags.empty() || !change->removeTags.empty()) {
                    _sounds->change(std::move(sounds), std::move(*change), tr("Change Tags"));
                }
            });
    dialog->open();
}

void SoundCommands::editNote()
{
    std::vector<Sound> sounds = _selection();
    if (sounds.empty() || !_sounds) {
        return;
    }
    std::vector<const SoundData*> datas;
    for (const Sound& sound : sounds) {
        datas.push_back(_sounds->dataOf(sound.key()));
    }
    const auto note = common<std::string>(datas, [](const SoundData& data) { return data.note; });

    auto* dialog = new QInputDialog(_table.window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(sounds.size() == 1 ? tr("Note")
                                              : tr("Note of %1 Sounds").arg(sounds.size()));
    dialog->setLabelText(note ? tr("Note:") : tr("Note (the sounds have different notes now):"));
    dialog->setOption(QInputDialog::UsePlainTextEditForTextInput);
    dialog->setTextValue(QString::fromStdString(note.value_or(std::string())));
    connect(dialog, &QInputDialog::textValueSelected, this,
            [this, sounds = std::move(sounds)](const QString& text) mutable {
                library::SoundChange change;
                change.note = text.toStdString();
                if (Outcome checked = library::checkNote(*change.note); !checked.ok()) {
                    emit _sounds->changeFailed(tr("The note could not be kept."),
                                               QString::fromStdString(checked.failure().reason));
                    return;
                }
                _sounds->change(std::move(sounds), std::move(change), tr("Change Note"));
            });
    dialog->open();
}

} // namespace a3
