#pragma once

#include <QList>
#include <QObject>
#include <QPageLayout>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

namespace a3 {

class A3AllDataDocument;
class AppController;
class DocumentWindow;
class UserPrompts;

// Creates, finds and closes the open documents: one window each, a file
// never open twice.
class DocumentController : public QObject
{
    Q_OBJECT

public:
    DocumentController(AppController& appController, UserPrompts& prompts);

    DocumentWindow* newDocument();
    // Brings the window forward when the file is open already; nullptr when
    // the file cannot be opened (the user has been told why).
    DocumentWindow* openDocument(const QString& path);
    void openDocuments(const QStringList& paths);
    void openDocumentsFromDialog(QWidget* parent);

    // Closes every window, asking about each edited document in turn; false
    // when the user cancelled, leaving the rest open.
    bool closeAllDocuments();
    void quit();

    QList<DocumentWindow*> windows() const;
    DocumentWindow* windowForFile(const QString& path) const;

private:
    std::unique_ptr<A3AllDataDocument> makeDocument();
    DocumentWindow* show(DocumentWindow* window);

    AppController& _appController;
    UserPrompts& _prompts;
    QList<QPointer<DocumentWindow>> _windows;
    int _untitledCount = 0;
    // Asking the print system for its default paper can be slow: once a run.
    std::optional<QPageLayout> _defaultPageLayout;
};

} // namespace a3
