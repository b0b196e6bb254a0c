#include "LibraryWindow.h"

#include "AppMenus.h"
#include "AppServices.h"
#include "DocumentController.h"
#include "Library.h"
#include "LibraryModel.h"
#include "PatchText.h"
#include "SetsPanel.h"
#include "SoundCommands.h"
#include "Sounds.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QUndoStack>
#include <QVBoxLayout>
#include <functional>
#include <set>

namespace a3 {
namespace {

// How long a passing message stays in the status bar.
constexpr int kMessageTimeoutMs = 10'000;

// A table whose rows are dragged only when they can go as one payload; the
// window tells why not otherwise.
class LibraryTable : public QTableView
{
public:
    explicit LibraryTable(std::function<bool()> mayDrag)
        : _mayDrag(std::move(mayDrag))
    {}

protected:
    void startDrag(Qt::DropActions supportedActions) override
    {
        if (_mayDrag()) {
            QTableView::startDrag(supportedActions);
        }
    }

private:
    std::function<bool()> _mayDrag;
};

} // namespace

LibraryWindow::LibraryWindow(Library& library, AppServices& services,
                             DocumentController& controller, UserPrompts& prompts, QWidget* parent)
    : QMainWindow(parent)
    , _services(services)
    , _library(library)
    , _controller(controller)
    , _prompts(prompts)
    , _model(new LibraryModel(this))
    , _search(new QLineEdit)
    , _onePerSound(new QCheckBox(tr("One row per sound")))
    , _table(new LibraryTable([this] { return selectionGoesTogether(); }))
    , _alsoIn(new QListWidget)
    , _status(new QLabel)
    , _progress(new QProgressBar)
    , _cancel(new QPushButton(tr("Cancel")))
    , _setsPanel(new SetsPanel(services.sounds()))
{
    setWindowTitle(tr("Library"));
    _search->setPlaceholderText(tr("Search names, or fav, rating>=4, tag:ambient…"));
    _search->setToolTip(
        tr("<p>Words that the name holds, and filters, in any order:</p>"
           "<p><b>fav</b>, <b>fav:no</b>, <b>fav:undecided</b><br>"
           "<b>rating&gt;=4</b>, <b>rating&lt;=2</b>, <b>rating=3</b>, <b>rating:none</b><br>"
           "<b>tag:ambient</b>, <b>-tag:dark</b><br>"
           "<b>chain:C*</b> (the chain as shown; * for any characters)<br>"
           "<b>bank:live</b> (part of the bank file's path)<br>"
           "<b>note:gig</b> (part of the note)</p>"
           "<p>\"big hall\" in double quotes for words with a space.</p>"));
    _search->setClearButtonEnabled(true);
    _table->setModel(_model);
    _table->setSelectionBehavior(QAbstractItemView::SelectRows);
    _table->setDragEnabled(true);
    _table->setDragDropMode(QAbstractItemView::DragOnly);
    _table->setDefaultDropAction(Qt::CopyAction);
    _table->verticalHeader()->hide();
    _table->verticalHeader()->setDefaultSectionSize(_table->fontMetrics().height() + 6);
    _table->setWordWrap(false);
    QHeaderView* header = _table->horizontalHeader();
    for (const int narrow : {LibraryModel::Chain, LibraryModel::Number, LibraryModel::SameSound,
                             LibraryModel::Favourite, LibraryModel::Rating}) {
        header->setSectionResizeMode(narrow, QHeaderView::ResizeToContents);
    }
    header->setSectionResizeMode(LibraryModel::Bank, QHeaderView::Stretch);
    header->setSectionResizeMode(LibraryModel::Tags, QHeaderView::Stretch);
    _table->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(_search, 1);
    searchRow->addWidget(_onePerSound);
    auto* alsoIn = new QWidget;
    auto* alsoInLayout = new QVBoxLayout(alsoIn);
    alsoInLayout->setContentsMargins(0, 0, 0, 0);
    alsoInLayout->addWidget(new QLabel(tr("Also in:")));
    alsoInLayout->addWidget(_alsoIn);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(_table);
    splitter->addWidget(alsoIn);
    splitter->setStretchFactor(0, 3);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->addLayout(searchRow);
    layout->addWidget(splitter, 1);
    auto* sides = new QSplitter(Qt::Horizontal);
    sides->addWidget(_setsPanel);
    sides->addWidget(content);
    sides->setStretchFactor(1, 4);
    sides->setSizes({200, 880}); // the side list narrow, the patches wide
    setCentralWidget(sides);
    // Folder names are shown as they are, never as markup.
    _status->setTextFormat(Qt::PlainText);
    _status->setWordWrap(true);
    statusBar()->addWidget(_status, 1);
    statusBar()->addPermanentWidget(_progress);
    statusBar()->addPermanentWidget(_cancel);
    resize(1080, 600);

    createMenus();
    Sounds& sounds = _services.sounds();
    _model->setSounds(sounds.snapshot());
    connect(&sounds, &Sounds::snapshotChanged, this,
            [this, &sounds] { _model->setSounds(sounds.snapshot()); });
    connect(&sounds, &Sounds::noticeChanged, this, &LibraryWindow::showProgress);
    connect(_search, &QLineEdit::textChanged, this, &LibraryWindow::search);
    connect(_setsPanel, &SetsPanel::searchChosen, _search, &QLineEdit::setText);
    connect(_setsPanel, &SetsPanel::keepSearchRequested, this,
            [this] { _setsPanel->keepSearch(_search->text()); });
    connect(_setsPanel, &SetsPanel::newBankRequested, this,
            [this](const std::vector<library::Sound>& entries) {
                _controller.newBankOfSounds(entries, this);
            });
    connect(_onePerSound, &QCheckBox::toggled, this, &LibraryWindow::search);
    connect(_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LibraryWindow::showAlsoIn);
    connect(_model, &QAbstractItemModel::modelReset, this, [this] {
        showAlsoIn();
        showProgress();
    });
    connect(_table, &QTableView::activated, this, [this](const QModelIndex& index) {
        const auto patch = _model->patchAt(index.row());
        emit openRequested(_model->catalog()->bank(patch), _model->catalog()->row(patch));
    });
    connect(_cancel, &QPushButton::clicked, &_library, &Library::cancel);
    connect(&_library, &Library::catalogChanged, this,
            [this] { _model->setCatalog(_library.catalog()); });
    connect(&_library, &Library::progressChanged, this, &LibraryWindow::showProgress);
    connect(&_library, &Library::refreshed, this, &LibraryWindow::showNews);
    _model->setCatalog(_library.catalog());
    showProgress();
}

LibraryWindow::~LibraryWindow() = default;

void LibraryWindow::createMenus()
{
    // The app's own commands, as in a bank window: this window is never a
    // dead end.
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&New"), QKeySequence::New, &_controller,
                    [this] { _controller.newDocument(); });
    file->addAction(tr("&Open…"), QKeySequence::Open, this, &LibraryWindow::chooseFilesToOpen);
    file->addSeparator();
    file->addAction(tr("&Close"), QKeySequence::Close, this, &QWidget::close);
    file->addSeparator();
    file->addAction(tr("&Quit"), commandShortcut(QKeySequence::Quit, "Ctrl+Q"), &_controller,
                    [this] { _controller.quit(); })
        ->setMenuRole(QAction::QuitRole);

    QMenu* libraryMenu = menuBar()->addMenu(tr("&Library"));
    libraryMenu->addAction(tr("&Add Folder…"), this, &LibraryWindow::chooseFolderToAdd);
    QMenu* remove = libraryMenu->addMenu(tr("&Remove Folder"));
    connect(remove, &QMenu::aboutToShow, this, [this, remove] { listFoldersToRemove(remove); });
    libraryMenu->addSeparator();
    libraryMenu->addAction(tr("&Export Sounds…"), this, &LibraryWindow::exportSounds);
    libraryMenu->addAction(tr("&Import Sounds…"), this, &LibraryWindow::importSounds);
    libraryMenu->addSeparator();
    libraryMenu->addAction(tr("&Device History"), &_controller,
                           [this] { _controller.showDeviceHistory(); });

    // Undo takes back the last change of what was said of sounds, from
    // here or from a bank window: this window edits nothing else.
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QUndoStack& soundChanges = _services.sounds().undoStack();
    QAction* undo = soundChanges.createUndoAction(edit, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = soundChanges.createRedoAction(edit, tr("&Redo"));
    redo->setShortcut(QKeySequence::Redo);
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    edit->addAction(tr("&Find"), QKeySequence::Find, this, [this] {
        _search->setFocus(Qt::ShortcutFocusReason);
        _search->selectAll();
    });
    QAction* copy =
        edit->addAction(tr("&Copy"), QKeySequence::Copy, this, &LibraryWindow::copySelection);
    _table->addAction(copy);
    edit->addAction(tr("Select &All"), QKeySequence::SelectAll, _table, &QTableView::selectAll);

    auto* separator = new QAction(this);
    separator->setSeparator(true);
    _table->addAction(separator);
    QMenu* sound = menuBar()->addMenu(tr("&Sound"));
    new SoundCommands(
        _services.sounds(), *_table, [this] { return selectedSounds(); },
        SoundCommands::Keys::Plain, sound);
    sound->addSeparator();
    QMenu* addToSet = sound->addMenu(tr("&Add to Set"));
    connect(addToSet, &QMenu::aboutToShow, this, [this, addToSet] { listSetsToAddTo(addToSet); });
    _table->addAction(addToSet->menuAction());
    QAction* newBank = sound->addAction(tr("New &Bank from Selection"), this, [this] {
        _controller.newBankOfSounds(selectedSounds(), this);
    });
    _table->addAction(newBank);
    // As the Sound commands: nothing to act on, nothing to offer.
    const auto offerForSelection = [this, newBank, addToSet] {
        const bool any = _table->selectionModel()->hasSelection();
        newBank->setEnabled(any);
        addToSet->setEnabled(any);
    };
    connect(_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            offerForSelection);
    connect(_model, &QAbstractItemModel::modelReset, this, offerForSelection);
    offerForSelection();
    sound->addAction(tr("New &Set…"), _setsPanel, &SetsPanel::newSet);
    sound->addAction(tr("&Keep Search as Smart List…"), this,
                     [this] { _setsPanel->keepSearch(_search->text()); });

    addWindowMenu(menuBar(), _controller);
}

std::vector<library::Sound> LibraryWindow::selectedSounds() const
{
    std::vector<library::Sound> sounds;
    const library::PatchCatalog* catalog = _model->catalog();
    if (!catalog) {
        return sounds;
    }
    std::set<std::uint32_t> soundsTaken;
    for (const QModelIndex& row : _table->selectionModel()->selectedRows()) {
        const auto patch = _model->patchAt(row.row());
        if (!soundsTaken.insert(catalog->soundOf(patch)).second) {
            continue;
        }
        library::Sound& sound = sounds.emplace_back();
        std::ranges::copy(catalog->patchData(patch), sound.patch.begin());
        sound.chainId = catalog->bank(patch).chainChecksum;
    }
    return sounds;
}

void LibraryWindow::listSetsToAddTo(QMenu* menu)
{
    menu->clear();
    for (const SetsState::Set& set : _services.sounds().sets().sets) {
        // A name is shown as it is: an & in it is no shortcut.
        QString text = set.name;
        menu->addAction(text.replace(QLatin1Char('&'), QStringLiteral("&&")), this,
                        [this, id = set.id] { _setsPanel->addToSet(id, selectedSounds()); });
    }
    if (menu->isEmpty()) {
        menu->addAction(tr("No Sets Yet: New Set… Makes One"))->setEnabled(false);
    }
}

void LibraryWindow::exportSounds()
{
    const QString suggested = QDir::home().filePath(tr("Sounds.json"));
    _prompts.chooseSoundsExportLocation(
        this, suggested, [this, window = QPointer<QWidget>(this)](const QString& path) {
            if (path.isEmpty() || !window) {
                return;
            }
            _services.sounds().exportTo(path, [this, window, path](const QString& failure) {
                if (!window) {
                    return;
                }
                if (failure.isEmpty()) {
                    statusBar()->showMessage(tr("The sounds were exported to “%1”.").arg(path),
                                             kMessageTimeoutMs);
                } else {
                    tell(tr("The sounds could not be exported to “%1”.").arg(path), failure);
                }
            });
        });
}

void LibraryWindow::importSounds()
{
    _prompts.chooseSoundsFileToImport(
        this, [this, window = QPointer<QWidget>(this)](const QString& path) {
            if (path.isEmpty() || !window) {
                return;
            }
            _services.sounds().importFrom(
                path, [this, window, path](const Result<library::MergeSummary>& merged) {
                    if (!window) {
                        return;
                    }
                    if (!merged.ok()) {
                        tell(tr("Nothing was imported from “%1”.").arg(path),
                             QString::fromStdString(merged.failure().reason));
                        return;
                    }
                    _prompts.showInformation(
                        this, tr("The sounds of “%1” were merged.").arg(path),
                        tr("Sounds in the file: %1, new here: %2.\n"
                           "Favourites, ratings and notes taken from the file, as decided there "
                           "later: %3.\n"
                           "Tags added: %4 (a tag removed here but kept there comes back).\n"
                           "Sets new: %5, sounds added to sets: %6, smart lists new: %7.")
                            .arg(merged->soundsGiven)
                            .arg(merged->soundsNew)
                            .arg(merged->decisionsTaken)
                            .arg(merged->tagsAdded)
                            .arg(merged->setsNew)
                            .arg(merged->setEntriesAdded)
                            .arg(merged->smartListsNew),
                        {});
                });
        });
}

void LibraryWindow::chooseFilesToOpen()
{
    // Unanswered (an empty list) when the dialog goes with this window.
    _prompts.chooseFilesToOpen(this, [&controller = _controller,
                                      window = QPointer<QWidget>(this)](const QStringList& files) {
        controller.openDocuments(files, window);
    });
}

void LibraryWindow::search()
{
    _model->setSearch(_search->text(), _onePerSound->isChecked());
    showProgress();
}

void LibraryWindow::showAlsoIn()
{
    _alsoIn->clear();
    const QModelIndex current = _table->selectionModel()->currentIndex();
    const library::PatchCatalog* catalog = _model->catalog();
    if (!current.isValid() || !catalog || !_table->selectionModel()->isRowSelected(current.row())) {
        return;
    }
    const auto patch = _model->patchAt(current.row());
    int listed = 0;
    for (const auto same : catalog->sameSound(patch)) {
        if (same == patch) {
            continue;
        }
        if (listed++ == kAlsoInListed) {
            // A sound kept in thousands of places ("Init") would cost the
            // window seconds at each arrow key.
            const int more = static_cast<int>(catalog->otherPlaces(patch)) - kAlsoInListed;
            _alsoIn->addItem(more == 1 ? tr("and 1 more place")
                                       : tr("and %1 more places").arg(more));
            return;
        }
        _alsoIn->addItem(
            tr("%1, patch %2 (%3)")
                .arg(describeBank(catalog->bank(same), true))
                .arg(catalog->row(same) + 1)
                .arg(QString::fromStdString(printablePatchName(catalog->name(same))).trimmed()));
    }
}

void LibraryWindow::showProgress()
{
    const bool refreshing = _library.isRefreshing();
    _progress->setVisible(refreshing);
    _cancel->setVisible(refreshing);
    _progress->setRange(0, std::max(_library.filesFound(), 0));
    _progress->setValue(_library.filesDone());
    const library::PatchCatalog* catalog = _model->catalog();
    const int banks = catalog ? static_cast<int>(catalog->bankCount()) : 0;
    const int found = static_cast<int>(_model->foundCount());
    QString text;
    if (const QString slow = _library.slowFolder(); !slow.isEmpty()) {
        text = tr("Updating the library: waiting for “%1”, which does not answer…").arg(slow);
    } else if (refreshing) {
        text = tr("Updating the library…");
    } else if (banks == 0) {
        text = tr("No banks in the library yet: add a folder of banks with Library > Add Folder…");
    } else {
        text = (found == 1 ? tr("1 patch found") : tr("%1 patches found").arg(found)) +
               (banks == 1 ? tr(" in 1 bank") : tr(" in %1 banks").arg(banks));
    }
    if (!_model->searchProblem().isEmpty()) {
        text = tr("The search cannot be read: %1").arg(_model->searchProblem());
    }
    for (const QString& more : {_library.notice(), _services.sounds().notice(), _news}) {
        if (!more.isEmpty()) {
            text += QLatin1Char('\n') + more;
        }
    }
    _status->setText(text);
}

void LibraryWindow::showNews(const QString& news)
{
    _news = news;
    showProgress();
}

bool LibraryWindow::selectionGoesTogether()
{
    if (!_model->payload(_table->selectionModel()->selectedRows()).chainsDiffer) {
        return true;
    }
    tell(tr("These patches cannot be copied together."),
         tr("Some of them use the chain data of a bank with one chain ID, others that of a "
            "bank with another; no bank can take them all. Copy them in groups of one "
            "chain ID."));
    return false;
}

void LibraryWindow::copySelection()
{
    const QModelIndexList rows = _table->selectionModel()->selectedRows();
    if (!rows.isEmpty() && selectionGoesTogether()) {
        QApplication::clipboard()->setMimeData(_model->mimeData(rows));
    }
}

void LibraryWindow::chooseFolderToAdd()
{
    auto* dialog = new QFileDialog(this, tr("Add a Folder to the Library"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        if (const auto problem = _library.addFolder(folder)) {
            tell(tr("The folder “%1” could not be added.").arg(folder), *problem);
        }
    });
    dialog->open();
}

void LibraryWindow::listFoldersToRemove(QMenu* menu)
{
    menu->clear();
    const QStringList folders = _library.folders();
    for (const QString& folder : folders) {
        menu->addAction(folder, this, [this, folder] {
            if (const auto problem = _library.removeFolder(folder)) {
                tell(tr("The folder “%1” could not be removed.").arg(folder), *problem);
            }
        });
    }
    if (folders.isEmpty()) {
        menu->addAction(tr("No Folders Added"))->setEnabled(false);
    }
}

void LibraryWindow::tell(const QString& text, const QString& reason)
{
    _prompts.showWarning(this, text, reason, {});
}

void LibraryWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Files changed by other programs show when the window comes to the
    // front: an unchanged library costs one walk of its folders.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        _library.refresh();
        _services.sounds().reloadIfChangedElsewhere();
    }
}

} // namespace a3
