#pragma once

#include "SoundSets.h"
#include "SoundsDatabase.h"

#include <QWidget>
#include <functional>
#include <vector>

class QListWidget;
class QMimeData;
class QPushButton;

namespace a3 {

class Sounds;

// The sounds that patches on a pasteboard (a copy or a drag from a bank or
// the Library) hold, in order; none when it holds no patches.
std::vector<library::Sound> soundsOnPasteboard(const QMimeData* pasteboard);

// The Library window's side list: the searches kept as smart lists, the
// user's sets, and the sounds of the set selected. Sounds come into a set by
// a drop or a paste of patches, or by Add to Set; a drag within the set
// orders them. Every change goes to the sounds database, and the lists show
// what it holds.
class SetsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit SetsPanel(Sounds& sounds, QWidget* parent = nullptr);

    QListWidget& smartLists() const { return *_smartLists; }
    QListWidget& sets() const { return *_sets; }
    QListWidget& entries() const { return *_entries; }
    // The set selected; none when no set is.
    std::optional<library::SetId> selectedSet() const;

    // Adds sounds to the set, after its last sound.
    void addToSet(library::SetId set, std::vector<library::Sound> sounds);
    // Asks for a name, then keeps search under it as a smart list.
    void keepSearch(const QString& search);
    void newSet();

signals:
    // The user asked for the search shown to be kept: keepSearch() does.
    void keepSearchRequested();
    // The user chose a smart list: its search is to be shown.
    void searchChosen(const QString& search);
    // The user asked for a bank of these sounds.
    void newBankRequested(const std::vector<library::Sound>& sounds);

private:
    void showSets();
    void showEntries();
    // The set or smart list selected in list: its id, which of the two it
    // is, and its name as the user gave it.
    struct Chosen
    {
        qlonglong id = 0;
        bool isSet = false;
        QString name;
    };
    std::optional<Chosen> chosenIn(const QListWidget& list) const;
    void renameSelected(QListWidget& list);
    void deleteSelected(QListWidget& list);
    void removeSelectedEntries();
    void askName(const QString& title, const QString& label, const QString& name,
                 std::function<void(const std::string&)> named);
    void change(std::function<Outcome(library::SoundsDatabase&)> work, const QString& failure);

    Sounds& _sounds;
    QListWidget* _smartLists;
    QListWidget* _sets;
    QListWidget* _entries;
    QPushButton* _newBank;
    QString _selectWhenShown; // the set just made, selected once it shows
};

} // namespace a3
