#include "UserPrompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace a3 {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("DialogPrompts", text);
}

QString fileFilter()
{
    return tr("All-Data files (*.syx)") + QStringLiteral(";;") + tr("All files (*)");
}

// Asks before something is lost for good; Cancel is the default.
bool confirmLoss(QWidget* window, const QString& question, const QString& consequence,
                 const QString& action)
{
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), question,
                    QMessageBox::Cancel, window);
    box.setInformativeText(consequence);
    QPushButton* confirm = box.addButton(action, QMessageBox::DestructiveRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
    return box.clickedButton() == confirm;
}

} // namespace

UserPrompts::SaveChoice DialogPrompts::askToSaveChanges(QWidget* window, const QString& displayName)
{
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    tr("Do you want to save the changes you made in “%1”?").arg(displayName),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, window);
    box.setInformativeText(tr("Your changes will be lost if you don’t save them."));
    box.button(QMessageBox::Discard)->setText(tr("Don’t Save"));
    box.setDefaultButton(QMessageBox::Save);
    box.setWindowModality(Qt::WindowModal);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::DontSave;
    default:
        return SaveChoice::Cancel;
    }
}

bool DialogPrompts::confirmRevert(QWidget* window, const QString& displayName)
{
    return confirmLoss(window,
                       tr("Do you want to revert “%1” to the last saved version?").arg(displayName),
                       tr("Your current changes will be lost."), tr("Revert"));
}

bool DialogPrompts::confirmReplace(QWidget* window, const QString& fileName)
{
    return confirmLoss(window, tr("“%1” already exists. Do you want to replace it?").arg(fileName),
                       tr("Its current content will be lost."), tr("Replace"));
}

void DialogPrompts::showError(QWidget* parent, const QString& message, const QString& reason)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), message,
                    QMessageBox::Ok, parent);
    box.setInformativeText(reason);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

QStringList DialogPrompts::chooseFilesToOpen(QWidget* parent)
{
    return QFileDialog::getOpenFileNames(parent, tr("Open"), {}, fileFilter());
}

QString DialogPrompts::chooseSaveLocation(QWidget* parent, const QString& suggestedPath)
{
    return QFileDialog::getSaveFileName(parent, tr("Save As"), suggestedPath, fileFilter());
}

QString DialogPrompts::choosePdfLocation(QWidget* parent, const QString& suggestedPath)
{
    return QFileDialog::getSaveFileName(parent, tr("Export as PDF"), suggestedPath,
                                        tr("PDF files (*.pdf)"));
}

} // namespace a3
