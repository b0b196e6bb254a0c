#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace a3 {

// The questions and messages the document commands put to the user. The app
// uses native dialogs; tests answer in their place.
class UserPrompts
{
public:
    enum class SaveChoice
    {
        Save,
        DontSave,
        Cancel,
    };

    virtual ~UserPrompts() = default;

    virtual SaveChoice askToSaveChanges(QWidget* window, const QString& displayName) = 0;
    virtual bool confirmRevert(QWidget* window, const QString& displayName) = 0;
    // Asked when a name the user typed, completed with its extension, is
    // taken by a file the save dialog did not ask about.
    virtual bool confirmReplace(QWidget* window, const QString& fileName) = 0;
    virtual void showError(QWidget* parent, const QString& message, const QString& reason) = 0;
    // Empty when the user cancels.
    virtual QStringList chooseFilesToOpen(QWidget* parent) = 0;
    virtual QString chooseSaveLocation(QWidget* parent, const QString& suggestedPath) = 0;
    virtual QString choosePdfLocation(QWidget* parent, const QString& suggestedPath) = 0;
};

// The real thing: message boxes and the platform's file dialogs.
class DialogPrompts final : public UserPrompts
{
public:
    SaveChoice askToSaveChanges(QWidget* window, const QString& displayName) override;
    bool confirmRevert(QWidget* window, const QString& displayName) override;
    bool confirmReplace(QWidget* window, const QString& fileName) override;
    void showError(QWidget* parent, const QString& message, const QString& reason) override;
    QStringList chooseFilesToOpen(QWidget* parent) override;
    QString chooseSaveLocation(QWidget* parent, const QString& suggestedPath) override;
    QString choosePdfLocation(QWidget* parent, const QString& suggestedPath) override;
};

} // namespace a3
