#include "UserPrompts.h"
#include "WindowModal.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

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

QMessageBox* messageBox(QMessageBox::Icon icon, const QString& text, const QString& informative,
                        QWidget* parent)
{
    auto* box = new QMessageBox(icon, QCoreApplication::applicationName(), text,
                                QMessageBox::NoButton, parent);
    box->setInformativeText(informative);
    return box;
}

// The dialog answered, with its result, for handlers that read the dialog.
template <typename Dialog, typename Handler>
void showAndThen(Dialog* dialog, Handler handle)
{
    showWindowModal(dialog,
                    [dialog, handle = std::move(handle)](int result) { handle(dialog, result); });
}

// Asks before something is lost for good; Cancel is the default.
void confirmLoss(QWidget* window, const QString& question, const QString& consequence,
                 const QString& action, UserPrompts::Reply<bool> reply)
{
    QMessageBox* box = messageBox(QMessageBox::Warning, question, consequence, window);
    QPushButton* confirm = box->addButton(action, QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    showAndThen(box, [confirm, reply = std::move(reply)](QMessageBox* answered, int) {
        reply(answered->clickedButton() == confirm);
    });
}

void chooseFile(QWidget* parent, const QString& caption, const QString& suggestedPath,
                const QString& filter, UserPrompts::Reply<QString> reply)
{
    const QFileInfo suggested(suggestedPath);
    auto* dialog = new QFileDialog(parent, caption, suggested.absolutePath(), filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->selectFile(suggested.fileName());
    showAndThen(dialog, [reply = std::move(reply)](QFileDialog* answered, int result) {
        reply(result == QDialog::Accepted ? answered->selectedFiles().value(0) : QString());
    });
}

// A message the user only acknowledges.
void showMessage(QMessageBox::Icon icon, QWidget* parent, const QString& message,
                 const QString& reason, std::function<void()> closed)
{
    QMessageBox* box = messageBox(icon, message, reason, parent);
    box->setStandardButtons(QMessageBox::Ok);
    showAndThen(box, [closed = std::move(closed)](QMessageBox*, int) {
        if (closed) {
            closed();
        }
    });
}

} // namespace

void DialogPrompts::askToSaveChanges(QWidget* window, const QString& displayName,
                                     Reply<SaveChoice> reply)
{
    QMessageBox* box =
        messageBox(QMessageBox::Warning,
                   tr("Do you want to save the changes you made in “%1”?").arg(displayName),
                   tr("Your changes will be lost if you don’t save them."), window);
    box->setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box->button(QMessageBox::Discard)->setText(tr("Don’t Save"));
    box->setDefaultButton(QMessageBox::Save);
    showAndThen(box, [reply = std::move(reply)](QMessageBox* answered, int) {
        switch (answered->standardButton(answered->clickedButton())) {
        case QMessageBox::Save:
            reply(SaveChoice::Save);
            break;
        case QMessageBox::Discard:
            reply(SaveChoice::DontSave);
            break;
        default:
            reply(SaveChoice::Cancel);
            break;
        }
    });
}

void DialogPrompts::confirmRevert(QWidget* window, const QString& displayName, Reply<bool> reply)
{
    confirmLoss(window,
                tr("Do you want to revert “%1” to the last saved version?").arg(displayName),
                tr("Your current changes will be lost."), tr("Revert"), std::move(reply));
}

void DialogPrompts::confirmReplace(QWidget* window, const QString& fileName, Reply<bool> reply)
{
    confirmLoss(window, tr("“%1” already exists. Do you want to replace it?").arg(fileName),
                tr("Its current content will be lost."), tr("Replace"), std::move(reply));
}

void DialogPrompts::askAboutChangedFile(QWidget* window, const QString& displayName,
                                        Reply<ChangedFileChoice> reply)
{
    QMessageBox* box = messageBox(
        QMessageBox::Warning,
        tr("The file has been changed by another application since you opened or saved it."),
        tr("Save Anyway replaces its content with “%1” as shown here; Revert shows the file’s "
           "content instead, discarding your changes.")
            .arg(displayName),
        window);
    QPushButton* saveAnyway = box->addButton(tr("Save Anyway"), QMessageBox::DestructiveRole);
    QPushButton* revert = box->addButton(tr("Revert"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    showAndThen(box, [saveAnyway, revert, reply = std::move(reply)](QMessageBox* answered, int) {
        const QAbstractButton* clicked = answered->clickedButton();
        reply(clicked == saveAnyway ? ChangedFileChoice::SaveAnyway
              : clicked == revert   ? ChangedFileChoice::Revert
                                    : ChangedFileChoice::Cancel);
    });
}

void DialogPrompts::showError(QWidget* parent, const QString& message, const QString& reason,
                              std::function<void()> closed)
{
    showMessage(QMessageBox::Critical, parent, message, reason, std::move(closed));
}

void DialogPrompts::offerSaveAs(QWidget* window, const QString& message, const QString& reason,
                                Reply<bool> reply)
{
    QMessageBox* box = messageBox(QMessageBox::Critical, message, reason, window);
    QPushButton* saveAs = box->addButton(tr("Save As…"), QMessageBox::AcceptRole);
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    showAndThen(box, [saveAs, reply = std::move(reply)](QMessageBox* answered, int) {
        reply(answered->clickedButton() == saveAs);
    });
}

void DialogPrompts::showWarning(QWidget* parent, const QString& message, const QString& reason,
                                std::function<void()> closed)
{
    showMessage(QMessageBox::Warning, parent, message, reason, std::move(closed));
}

void DialogPrompts::showAbout(QWidget* parent, const QString& title, const QString& text,
                              std::function<void()> closed)
{
    QMessageBox* box = messageBox(QMessageBox::NoIcon, text, {}, parent);
    box->setWindowTitle(title);
    box->setIconPixmap(QGuiApplication::windowIcon().pixmap(64, 64));
    box->setStandardButtons(QMessageBox::Ok);
    showAndThen(box, [closed = std::move(closed)](QMessageBox*, int) {
        if (closed) {
            closed();
        }
    });
}

void DialogPrompts::choosePort(QWidget* window, const QString& question, const QStringList& ports,
                               const QString& preselected, Reply<QString> reply)
{
    auto* dialog = new QInputDialog(window);
    dialog->setWindowTitle(QCoreApplication::applicationName());
    dialog->setLabelText(question);
    dialog->setComboBoxItems(ports);
    dialog->setComboBoxEditable(false);
    dialog->setMinimumWidth(360); // room for long port names
    if (ports.contains(preselected)) {
        dialog->setTextValue(preselected);
    }
    showAndThen(dialog, [reply = std::move(reply)](QInputDialog* answered, int result) {
        reply(result == QDialog::Accepted ? answered->textValue() : QString());
    });
}

void DialogPrompts::showComparison(QWidget* window, const QString& summary,
                                   const QList<QStringList>& rows, std::function<void()> closed)
{
    const auto whenClosed = [closed = std::move(closed)](QDialog*, int) {
        if (closed) {
            closed();
        }
    };
    if (rows.isEmpty()) {
        QMessageBox* box = messageBox(QMessageBox::Information, summary, {}, window);
        box->setStandardButtons(QMessageBox::Ok);
        showAndThen(box, whenClosed);
        return;
    }
    auto* dialog = new QDialog(window);
    dialog->setWindowTitle(tr("Compare with Device"));
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(summary, dialog);
    label->setWordWrap(true);
    auto* patches = new QTreeWidget(dialog);
    patches->setRootIsDecorated(false);
    patches->setHeaderLabels({tr("#"), tr("Here"), tr("On the device")});
    // Names are seven fixed cells on the device; trailing spaces show.
    patches->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (const QStringList& row : rows) {
        auto* item = new QTreeWidgetItem(row);
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        patches->addTopLevelItem(item);
    }
    patches->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    layout->addWidget(label);
    layout->addWidget(patches);
    layout->addWidget(buttons);
    dialog->resize(440, 360);
    showAndThen(dialog, whenClosed);
}

void DialogPrompts::chooseFilesToOpen(QWidget* parent, Reply<QStringList> reply)
{
    auto* dialog = new QFileDialog(parent, tr("Open"), {}, fileFilter());
    dialog->setFileMode(QFileDialog::ExistingFiles);
    showAndThen(dialog, [reply = std::move(reply)](QFileDialog* answered, int result) {
        reply(result == QDialog::Accepted ? answered->selectedFiles() : QStringList());
    });
}

void DialogPrompts::chooseSaveLocation(QWidget* parent, const QString& suggestedPath,
                                       Reply<QString> reply)
{
    chooseFile(parent, tr("Save As"), suggestedPath, fileFilter(), std::move(reply));
}

void DialogPrompts::choosePdfLocation(QWidget* parent, const QString& suggestedPath,
                                      Reply<QString> reply)
{
    chooseFile(parent, tr("Export as PDF"), suggestedPath, tr("PDF files (*.pdf)"),
               std::move(reply));
}

} // namespace a3
