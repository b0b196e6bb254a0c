#pragma once

#include "PatchCatalog.h"

#include <QMainWindow>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;

namespace a3 {

class AppServices;
class DocumentController;
class Library;
class LibraryModel;
class SetsPanel;
class UserPrompts;

// The one window that shows the library: a search field, the patches found,
// where else the selected patch's sound is kept, and how far an update of
// the index has come. Patches leave it by Copy or by dragging them to a bank.
class LibraryWindow : public QMainWindow
{
    Q_OBJECT

public:
    // How many other places "Also in" lists; it counts the rest.
    static constexpr int kAlsoInListed = 100;

    // Shows library (the app's own, services.library(), but for a benchmark).
    LibraryWindow(Library& library, AppServices& services, DocumentController& controller,
                  UserPrompts& prompts, QWidget* parent = nullptr);
    ~LibraryWindow() override;

    QLineEdit& searchField() const { return *_search; }
    QCheckBox& onePerSoundBox() const { return *_onePerSound; }
    QTableView& table() const { return *_table; }
    QListWidget& alsoInList() const { return *_alsoIn; }
    QLabel& statusText() const { return *_status; }
    QPushButton& cancelButton() const { return *_cancel; }
    LibraryModel& model() const { return *_model; }
    SetsPanel& setsPanel() const { return *_setsPanel; }

    // Puts the selected patches on the clipboard, or tells why it cannot.
    void copySelection();

signals:
    // The user asked to see patch row (0-based) of the bank.
    void openRequested(const library::CatalogBank& bank, qint64 row);

protected:
    void changeEvent(QEvent* event) override;

private:
    void createMenus();
    // The sounds of the selected rows, each once.
    std::vector<library::Sound> selectedSounds() const;
    void search();
    void showAlsoIn();
    void showProgress();
    void showNews(const QString& news);
    void chooseFolderToAdd();
    void listFoldersToRemove(QMenu* menu);
    void chooseFilesToOpen();
    void exportSounds();
    void listSetsToAddTo(QMenu* menu);
    void importSounds();
    void tell(const QString& text, const QString& reason);
    // Whether the selected patches can go into one bank; tells why not.
    bool selectionGoesTogether();

    AppServices& _services;
    Library& _library;
    DocumentController& _controller;
    UserPrompts& _prompts;
    LibraryModel* _model;
    QLineEdit* _search;
    QCheckBox* _onePerSound;
    QTableView* _table;
    QListWidget* _alsoIn;
    QLabel* _status;
    QProgressBar* _progress;
    QPushButton* _cancel;
    SetsPanel* _setsPanel;
    QString _news;
};

} // namespace a3
