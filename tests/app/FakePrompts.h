#pragma once

#include "UserPrompts.h"

#include <QStringList>
#include <deque>

namespace a3::test {

// Answers the app's questions as a test scripts them and records what the
// user would have been shown.
class FakePrompts final : public UserPrompts
{
public:
    SaveChoice askToSaveChanges(QWidget*, const QString& displayName) override
    {
        asked.append(displayName);
        return saveAnswers.empty() ? SaveChoice::Cancel : take(saveAnswers);
    }
    bool confirmRevert(QWidget*, const QString& displayName) override
    {
        asked.append(displayName);
        return revertAnswer;
    }
    bool confirmReplace(QWidget*, const QString& fileName) override
    {
        asked.append(fileName);
        return replaceAnswer;
    }
    void showError(QWidget*, const QString& message, const QString& reason) override
    {
        errors.append(message + QLatin1Char('|') + reason);
    }
    QStringList chooseFilesToOpen(QWidget*) override { return filesToOpen; }
    QString chooseSaveLocation(QWidget*, const QString& suggestedPath) override
    {
        suggestedSavePaths.append(suggestedPath);
        return saveLocation;
    }

    QString choosePdfLocation(QWidget*, const QString& suggestedPath) override
    {
        suggestedSavePaths.append(suggestedPath);
        return pdfLocation;
    }

    std::deque<SaveChoice> saveAnswers;
    bool revertAnswer = true;
    bool replaceAnswer = false;
    QStringList filesToOpen;
    QString saveLocation;
    QString pdfLocation;

    QStringList asked;
    QStringList errors;
    QStringList suggestedSavePaths;

private:
    static SaveChoice take(std::deque<SaveChoice>& answers)
    {
        const SaveChoice answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace a3::test
