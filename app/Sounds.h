#pragma once

#include "SoundData.h"
#include "SoundsDatabase.h"

#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QUndoStack>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace a3 {

class A3AllDataSource;

// The sound of a bank's patch at row.
library::Sound soundOf(const A3AllDataSource& bank, std::int64_t row);

// What a bank window shows beside a patch's name of what was said of its
// sound: "♥ ★★★★ ambient, live"; empty for nothing said.
QString soundMarks(const library::SoundData* data);

// The user's sets, each with its sounds in order, and their smart lists, as
// the database last gave them.
struct SetsState
{
    struct Set
    {
        library::SetId id = 0;
        QString name;
        std::vector<library::Sound> sounds;
    };
    std::vector<Set> sets; // ordered by name in any case
    std::vector<library::SmartList> smartLists;

    const Set* find(library::SetId id) const;
};

// What the user said about their sounds, for every window: the latest
// snapshot of the sounds database, and changes to it. The database is
// opened, read and written on a thread of its own, one job after another,
// so that no write ever stalls a window; a change shows once it is on the
// disk, and one that fails shows nothing changed and says why. Every change
// made is one step of undoStack().
class Sounds : public QObject
{
    Q_OBJECT

public:
    explicit Sounds(std::filesystem::path file, QObject* parent = nullptr);
    // Waits for the changes asked for to be written.
    ~Sounds() override;

    std::shared_ptr<const library::SoundsSnapshot> snapshot() const { return _snapshot; }
    // What was said of sound, or none.
    const library::SoundData* dataOf(const library::SoundKey& sound) const;
    // The tags in use, each once as first typed.
    QStringList tagsInUse() const;
    QUndoStack& undoStack() { return _undoStack; }
    // What the user should know of the database for as long as the app runs
    // (it was damaged and moved aside, or cannot be used), or an empty text.
    const QString& notice() const { return _notice; }

    // Asks for change to sounds; what names the step in the Edit menu
    // ("Mark as Favourite").
    void change(std::vector<library::Sound> sounds, library::SoundChange change,
                const QString& what);
    // Writes what was said of every sound to a sounds file at path; done
    // gets the reason it could not, or nothing.
    void exportTo(const QString& path, std::function<void(const QString& failure)> done);
    // Merges the sounds file at path in; done gets what was merged, or why
    // nothing was. The undo steps before it are forgotten: the merge is not
    // one of them, and undoing them over it would take back what it brought.
    void importFrom(const QString& path,
                    std::function<void(const Result<library::MergeSummary>&)> done);
    const SetsState& sets() const { return *_sets; }
    // Runs work on the database, on its thread: a change of sets or smart
    // lists (it may refuse, with the reason). The sets are read again after
    // it; a refusal is told as changeFailed(failureText, reason).
    using SetsWork = std::function<Outcome(library::SoundsDatabase& database)>;
    void changeSets(SetsWork work, const QString& failureText);
    // Reads the database again when another program (a3bank) changed it.
    void reloadIfChangedElsewhere();
    // Waits for every job asked for so far; for tests and for quitting.
    void waitForWrites();

signals:
    void snapshotChanged();
    void setsChanged();
    void noticeChanged();
    // A change could not be made; nothing changed.
    void changeFailed(const QString& text, const QString& reason);

private:
    class ChangeCommand;
    struct Worker;

    void restore(std::vector<library::StoredSound> sounds, const QString& failureText);
    void show(std::shared_ptr<const library::SoundsSnapshot> snapshot);

    std::shared_ptr<Worker> _worker;
    QThreadPool _pool; // of one thread: jobs run in the order asked
    void showSets(std::shared_ptr<const SetsState> sets);

    std::shared_ptr<const library::SoundsSnapshot> _snapshot;
    std::shared_ptr<const SetsState> _sets = std::make_shared<SetsState>();
    QUndoStack _undoStack;
    QString _notice;
};

} // namespace a3
