#pragma once

#include "SoundData.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QAbstractItemView;
class QAction;
class QMenu;
class QWidget;

namespace a3 {

class Sounds;

// The Sound menu of a window, which says what the user thinks of the sounds
// of the selected rows, all at once: favourite or not, a rating, tags and a
// note. Its commands are in the table's context menu too. In the Library,
// whose table is never typed into, plain keys run them (F, X, 0 to 5, T,
// N); in a bank window, where typing renames a patch, the same keys with
// Ctrl+Shift.
class SoundCommands : public QObject
{
    Q_OBJECT

public:
    enum class Keys
    {
        Plain,
        WithCtrlShift
    };
    using Selection = std::function<std::vector<library::Sound>()>;

    // selection gives the sounds of the selected rows, each once.
    SoundCommands(Sounds& sounds, QAbstractItemView& table, Selection selection, Keys keys,
                  QMenu* menu);

    QAction* favouriteAction() const { return _favourite; }
    QAction* tagsAction() const { return _tags; }
    QAction* noteAction() const { return _note; }

private:
    QAction* add(QMenu* menu, const QString& text, const QString& key,
                 const std::function<void()>& handler);
    void updateEnabled();
    void markFavourite(library::Favourite favourite, const QString& what);
    void rate(int rating);
    void editTags();
    void editNote();

    QPointer<Sounds> _sounds; // goes with the app, which may close windows after it
    QAbstractItemView& _table;
    Selection _selection;
    Keys _keys;
    std::vector<QAction*> _actions;
    QAction* _favourite = nullptr;
    QAction* _tags = nullptr;
    QAction* _note = nullptr;
};

} // namespace a3
