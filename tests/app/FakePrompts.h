#pragma once

#include "UserPrompts.h"

#include <QStringList>
#include <QTimer>
#include <deque>

namespace a3::test {

// Answers the app's questions as a test scripts them and records what the
// user would have been shown. Like a dialog, it answers from the event loop,
// never inside the call that asked.
class FakePrompts final : public UserPrompts
{
public:
    void askToSaveChanges(QWidget*, const QString& displayName, Reply<SaveChoice> reply) override
    {
        asked.append(displayName);
        answerLater(reply, saveAnswers.empty() ? SaveChoice::Cancel : take(saveAnswers));
    }
    void confirmRevert(QWidget*, const QString& displayName, Reply<bool> reply) override
    {
        asked.append(displayName);
        answerLater(reply, revertAnswer);
    }
    void confirmReplace(QWidget*, const QString& fileName, Reply<bool> reply) override
    {
        asked.append(fileName);
        answerLater(reply, replaceAnswer);
    }
    void askAboutChangedFile(QWidget*, const QString& displayName,
                             Reply<ChangedFileChoice> reply) override
    {
        asked.append(QStringLiteral("changed: ") + displayName);
        answerLater(reply, changedFileAnswer);
    }
    void showError(QWidget*, const QString& message, const QString& reason, const QString& detail,
                   std::function<void()> closed) override
    {
        errors.append(message + QLatin1Char('|') + reason +
                      (detail.isEmpty() ? QString() : QLatin1Char('|') + detail));
        later(std::move(closed));
    }
    void offerSaveAs(QWidget*, const QString& message, const QString& reason,
                     Reply<bool> reply) override
    {
        errors.append(message + QLatin1Char('|') + reason);
        answerLater(reply, saveAsAnswer);
    }
    void showWarning(QWidget*, const QString& message, const QString& reason,
                     std::function<void()> closed) override
    {
        warnings.append(message + QLatin1Char('|') + reason);
        later(std::move(closed));
    }
    void showAbout(QWidget*, const QString&, const QString&, std::function<void()> closed) override
    {
        later(std::move(closed));
    }
    void choosePort(QWidget*, const QString& question, const QStringList& ports,
                    const QString& preselected, Reply<QString> reply) override
    {
        asked.append(question);
        offeredPorts = ports;
        preselectedPort = preselected;
        answerLater(reply,
                    portAnswer.isEmpty() || ports.contains(portAnswer) ? portAnswer : QString());
    }
    void showComparison(QWidget*, const QString& summary, const QList<QStringList>& rows,
                        std::function<void()> closed) override
    {
        comparisons.append({summary, rows});
        later(std::move(closed));
    }
    void chooseFilesToOpen(QWidget*, Reply<QStringList> reply) override
    {
        answerLater(reply, filesToOpen);
    }
    void chooseSaveLocation(QWidget*, const QString& suggestedPath, Reply<QString> reply) override
    {
        suggestedSavePaths.append(suggestedPath);
        answerLater(reply, saveLocation);
    }
    void choosePdfLocation(QWidget*, const QString& suggestedPath, Reply<QString> reply) override
    {
        suggestedSavePaths.append(suggestedPath);
        answerLater(reply, pdfLocation);
    }

    std::deque<SaveChoice> saveAnswers;
    bool revertAnswer = true;
    bool replaceAnswer = false;
    bool saveAsAnswer = false;
    ChangedFileChoice changedFileAnswer = ChangedFileChoice::Cancel;
    QStringList filesToOpen;
    QString saveLocation;
    QString pdfLocation;
    QString portAnswer; // empty: cancel

    QStringList asked;
    QStringList offeredPorts;
    QString preselectedPort;
    QList<std::pair<QString, QList<QStringList>>> comparisons;
    QStringList errors;
    QStringList warnings;
    QStringList suggestedSavePaths;

private:
    static void later(std::function<void()> action)
    {
        if (action) {
            QTimer::singleShot(0, std::move(action));
        }
    }
    template <typename Answer>
    static void answerLater(const Reply<Answer>& reply, Answer answer)
    {
        later([reply, answer] { reply(answer); });
    }
    static SaveChoice take(std::deque<SaveChoice>& answers)
    {
        const SaveChoice answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace a3::test
