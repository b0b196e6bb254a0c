#include "Sounds.h"

#include "A3AllDataSource.h"
#include "AtomicFile.h"
#include "FileReader.h"
#include "SoundsDatabase.h"
#include "SoundsFile.h"

#include <QPointer>
#include <QUndoCommand>
#include <algorithm>
#include <atomic>
#include <optional>

namespace a3 {

using library::SoundsSnapshot;
using library::StoredSound;

const SetsState::Set* SetsState::find(library::SetId id) const
{
    const auto found = std::ranges::find(sets, id, &Set::id);
    return found != sets.end() ? &*found : nullptr;
}

namespace {

// The sets and smart lists as the database holds them now; nothing when it
// cannot say.
std::shared_ptr<const SetsState> readSets(library::SoundsDatabase& database)
{
    auto state = std::make_shared<SetsState>();
    const auto sets = database.sets();
    auto lists = database.smartLists();
    if (!sets.ok() || !lists.ok()) {
        return nullptr;
    }
    for (const library::SetSummary& summary : *sets) {
        auto entries = database.setEntries(summary.id);
        if (!entries.ok()) {
            return nullptr;
        }
        state->sets.push_back(
            {summary.id, QString::fromStdString(summary.name), std::move(*entries)});
    }
    state->smartLists = std::move(*lists);
    return state;
}

} // namespace

// The database and the worker's own copy of its data: used by the pool's
// one thread only.
struct Sounds::Worker
{
    std::filesystem::path file;
    std::unique_ptr<library::SoundsDatabase> database;
    QString unusableBecause;
    std::shared_ptr<SoundsSnapshot> current = std::make_shared<SoundsSnapshot>();
    // The snapshot shown before current, and the sounds it lacks of current:
    // once no window reads it any more, bringing it up to date costs those
    // sounds, where a copy of current costs every sound. Kept here, it is
    // never freed by the windows' thread either.
    std::shared_ptr<SoundsSnapshot> spare;
    std::vector<StoredSound> spareLacks;

    void startFrom(SoundsSnapshot snapshot)
    {
        current = std::make_shared<SoundsSnapshot>(std::move(snapshot));
        spare.reset();
        spareLacks.clear();
    }

    // As the database keeps them: a sound never said of is not kept.
    static void setIn(SoundsSnapshot& snapshot, const std::vector<StoredSound>& sounds)
    {
        for (const StoredSound& stored : sounds) {
            if (stored.data.neverSaid()) {
                snapshot.erase(stored.sound.key());
            } else {
                snapshot[stored.sound.key()] = stored.data;
            }
        }
    }

    // The current data with sounds set so, as a new snapshot: the one shown
    // is never changed under the windows reading it.
    std::shared_ptr<const SoundsSnapshot> with(const std::vector<StoredSound>& sounds)
    {
        std::shared_ptr<SoundsSnapshot> next;
        if (spare && spare.use_count() == 1) {
            // What the windows did with it happened before.
            std::atomic_thread_fence(std::memory_order_acquire);
            next = std::move(spare);
            setIn(*next, spareLacks);
        } else {
            next = std::make_shared<SoundsSnapshot>(*current);
        }
        setIn(*next, sounds);
        spare = std::exchange(current, std::move(next));
        spareLacks = sounds;
        return current;
    }
};

// One change of sound data, undone and redone by writing the sounds' data
// from before or after it. Made once the change is written, so its first
// redo does nothing.
class Sounds::ChangeCommand : public QUndoCommand
{
public:
    ChangeCommand(Sounds& sounds, std::vector<StoredSound> before, std::vector<StoredSound> after,
                  const QString& text)
        : QUndoCommand(text)
        , _sounds(sounds)
        , _before(std::move(before))
        , _after(std::move(after))
    {}

    void undo() override
    {
        _sounds.restore(_before, Sounds::tr("The change “%1” could not be undone.").arg(text()));
    }
    void redo() override
    {
        if (std::exchange(_made, false)) {
            return;
        }
        _sounds.restore(_after, Sounds::tr("The change “%1” could not be redone.").arg(text()));
    }

private:
    Sounds& _sounds;
    std::vector<StoredSound> _before;
    std::vector<StoredSound> _after;
    bool _made = true;
};

library::Sound soundOf(const A3AllDataSource& bank, std::int64_t row)
{
    library::Sound sound;
    const std::vector<std::uint8_t> patch = bank.patchDataAt(row);
    std::copy_n(patch.begin(), std::min(patch.size(), sound.patch.size()), sound.patch.begin());
    sound.chainId = bank.chainChecksum();
    return sound;
}

QString soundMarks(const library::SoundData* data)
{
    if (!data) {
        return {};
    }
    QStringList parts;
    if (data->favourite == library::Favourite::Yes) {
        parts.append(QString(QChar(0x2665)));
    }
    if (data->rating != library::kNoRating) {
        parts.append(QString(data->rating, QChar(0x2605)));
    }
    QStringList tags;
    for (const std::string& tag : data->tags) {
        tags.append(QString::fromStdString(tag));
    }
    if (!tags.isEmpty()) {
        parts.append(tags.join(QStringLiteral(", ")));
    }
    return parts.join(QLatin1Char(' '));
}

Sounds::Sounds(std::filesystem::path file, QObject* parent)
    : QObject(parent)
    , _worker(std::make_shared<Worker>())
    , _snapshot(_worker->current)
{
    _pool.setMaxThreadCount(1);
    _worker->file = std::move(file);
    QPointer<Sounds> self(this);
    _pool.start([worker = _worker, self] {
        auto opened = library::SoundsDatabase::open(worker->file);
        QString notice;
        std::shared_ptr<const SetsState> sets;
        if (!opened.ok()) {
            worker->unusableBecause = QString::fromStdString(opened.failure().reason);
            notice = tr("What you say of sounds cannot be kept: %1").arg(worker->unusableBecause);
        } else {
            worker->database = std::move(*opened);
            if (const auto& aside = worker->database->movedAside()) {
                notice = tr("The sounds database was damaged (%1); it was moved to “%2” and a new "
                            "one started.")
                             .arg(QString::fromStdString(aside->why),
                                  QString::fromStdString(aside->to.string()));
            }
            if (auto read = worker->database->snapshot(); read.ok()) {
                worker->startFrom(std::move(*read));
            }
            sets = readSets(*worker->database);
        }
        QMetaObject::invokeMethod(
            self,
            [self, notice, snapshot = worker->current, sets] {
                if (self) {
                    self->_notice = notice;
                    emit self->noticeChanged();
                    self->show(snapshot);
                    if (sets) {
                        self->showSets(sets);
                    }
                }
            },
            Qt::QueuedConnection);
    });
}

Sounds::~Sounds()
{
    waitForWrites();
}

void Sounds::waitForWrites()
{
    _pool.waitForDone();
}

const library::SoundData* Sounds::dataOf(const library::SoundKey& sound) const
{
    const auto found = _snapshot->find(sound);
    return found != _snapshot->end() ? &found->second : nullptr;
}

QStringList Sounds::tagsInUse() const
{
    QStringList tags;
    for (const auto& [key, data] : *_snapshot) {
        for (const std::string& tag : data.tags) {
            const QString shown = QString::fromStdString(tag);
            if (!tags.contains(shown, Qt::CaseInsensitive)) {
                tags.append(shown);
            }
        }
    }
    tags.sort(Qt::CaseInsensitive);
    return tags;
}

void Sounds::show(std::shared_ptr<const SoundsSnapshot> snapshot)
{
    _snapshot = std::move(snapshot);
    emit snapshotChanged();
}

void Sounds::change(std::vector<library::Sound> sounds, library::SoundChange change,
                    const QString& what)
{
    if (sounds.empty()) {
        return;
    }
    const auto now = library::setTimeNow();
    QPointer<Sounds> self(this);
    _pool.start([worker = _worker, self, sounds = std::move(sounds), change = std::move(change),
                 what, now] {
        std::optional<library::SoundsDatabase::Changed> made;
        QString reason = worker->unusableBecause;
        std::shared_ptr<const SoundsSnapshot> snapshot;
        if (worker->database) {
            auto written = worker->database->change(sounds, change, now);
            if (written.ok()) {
                made = std::move(*written);
                snapshot = worker->with(made->after);
            } else {
                reason = QString::fromStdString(written.failure().reason);
            }
        }
        QMetaObject::invokeMethod(
            self,
            [self, made = std::move(made), snapshot, reason, what]() mutable {
                if (!self) {
                    return;
                }
                if (!made) {
                    emit self->changeFailed(tr("The change “%1” could not be kept.").arg(what),
                                            reason);
                    return;
                }
                self->show(snapshot);
                self->_undoStack.push(new ChangeCommand(*self, std::move(made->before),
                                                        std::move(made->after), what));
            },
            Qt::QueuedConnection);
    });
}

void Sounds::restore(std::vector<StoredSound> sounds, const QString& failureText)
{
    QPointer<Sounds> self(this);
    _pool.start([worker = _worker, self, sounds = std::move(sounds), failureText] {
        QString reason = worker->unusableBecause;
        std::shared_ptr<const SoundsSnapshot> snapshot;
        if (worker->database) {
            if (Outcome written = worker->database->restore(sounds); written.ok()) {
                snapshot = worker->with(sounds);
            } else {
                reason = QString::fromStdString(written.failure().reason);
            }
        }
        QMetaObject::invokeMethod(
            self,
            [self, snapshot, reason, failureText] {
                if (!self) {
                    return;
                }
                if (snapshot) {
                    self->show(snapshot);
                } else {
                    emit self->changeFailed(failureText, reason);
                }
            },
            Qt::QueuedConnection);
    });
}

void Sounds::exportTo(const QString& path, std::function<void(const QString& failure)> done)
{
    QPointer<Sounds> self(this);
    _pool.start([worker = _worker, self, file = std::filesystem::path(path.toStdString()),
                 done = std::move(done)] {
        QString failure = worker->unusableBecause;
        if (worker->database) {
            if (auto content = worker->database->content(); !content.ok()) {
                failure = QString::fromStdString(content.failure().reason);
            } else {
                const std::string text = library::soundsFileText(*content);
                const WriteResult written = writeFileAtomically(
                    file,
                    std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
                failure =
                    written.ok() ? QString() : QString::fromStdString(written.failure().reason);
            }
        }
        QMetaObject::invokeMethod(
            self,
            [self, done, failure] {
                if (self) {
                    done(failure);
                }
            },
            Qt::QueuedConnection);
    });
}

void Sounds::importFrom(const QString& path,
                        std::function<void(const Result<library::MergeSummary>&)> done)
{
    // A sounds file holds some 300 bytes a sound: room for millions.
    constexpr std::uintmax_t kLargestSoundsFile = 1024ull * 1024 * 1024;
    QPointer<Sounds> self(this);
    _pool.start([worker = _worker, self, file = std::filesystem::path(path.toStdString()),
                 done = std::move(done), kLargestSoundsFile] {
        Result<library::MergeSummary> merged = Failure{worker->unusableBecause.toStdString()};
        std::shared_ptr<const SoundsSnapshot> snapshot;
        std::shared_ptr<const SetsState> sets;
        if (const FileRead read = readFileBounded(file, kLargestSoundsFile); !read.ok()) {
            merged = Failure{read.failure().reason};
        } else if (auto sounds = library::soundsFromFileText(
                       std::string_view(reinterpret_cast<const char*>(read->data()), read->size()));
                   !sounds.ok()) {
            merged = sounds.failure();
        } else if (worker->database) {
            merged = worker->database->merge(*sounds);
            if (auto all = worker->database->snapshot(); merged.ok() && all.ok()) {
                worker->startFrom(std::move(*all));
                snapshot = worker->current;
                sets = readSets(*worker->database);
            }
        }
        QMetaObject::invokeMethod(
            self,
            [self, done, merged, snapshot, sets] {
                if (!self) {
                    return;
                }
                if (snapshot) {
                    self->_undoStack.clear();
                    self->show(snapshot);
                }
                if (sets) {
                    self->showSets(sets);
                }
                done(merged);
            },
            Qt::QueuedConnection);
    });
}

void Sounds::showSets(std::shared_ptr<const SetsState> sets)
{
    _sets = std::move(sets);
    emit setsChanged();
}

void Sounds::changeSets(SetsWork work, const QString& failureText)
{
    QPointer<Sounds> self(this);
    _pool.start([worker = _worker, self, work = std::move(work), failureText] {
        QString reason = worker->unusableBecause;
        std::shared_ptr<const SetsState> sets;
        if (worker->database) {
            const Outcome done = work(*worker->database);
            reason = done.ok() ? QString() : QString::fromStdString(done.failure().reason);
            sets = readSets(*worker->database);
        }
        QMetaObject::invokeMethod(
            self,
            [self, sets, reason, failureText] {
                if (!self) {
                    return;
                }
                if (sets) {
                    self->showSets(sets);
                }
                if (!reason.isEmpty()) {
                    emit self->changeFailed(failureText, reason);
                }
            },
            Qt::QueuedConnection);
    });
}

void Sounds::reloadIfChangedElsewhere()
{
    QPointer<Sounds> self(this);
    _pool.start([worker = _worker, self] {
        if (!worker->database) {
            return;
        }
        const auto changed = worker->database->changedElsewhere();
        if (!changed.ok() || !*changed) {
            return;
        }
        auto read = worker->database->snapshot();
        if (!read.ok()) {
            return;
        }
        worker->startFrom(std::move(*read));
        QMetaObject::invokeMethod(
            self,
            [self, snapshot = worker->current, sets = readSets(*worker->database)] {
                if (self) {
                    self->show(snapshot);
                    if (sets) {
                        self->showSets(sets);
                    }
                }
            },
            Qt::QueuedConnection);
    });
}

} // namespace a3
