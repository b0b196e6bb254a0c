#include "A3AllData.h"
#include "MidiFileWriter.h"
#include "Transfer.h"
#include "UserPrompts.h"
#include "WindowModal.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

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

// Banks come in MIDI files and archives too: what Open reads.
QString openFilter()
{
    return tr("All-Data files and MIDI files (*.syx *.mid *.midi *.smf *.rmi *.txt *.zip *.lha "
              "*.lzh *.tar *.tgz *.gz *.7z)") +
           QStringLiteral(";;") + tr("All files (*)");
}

// Texts made from file and port names are shown as they are, never as
// markup, the informative text as well.
QMessageBox* messageBox(QMessageBox::Icon icon, const QString& text, const QString& informative,
                        QWidget* parent)
{
    auto* box = new QMessageBox(icon, QCoreApplication::applicationName(), text,
                                QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(informative);
    for (QLabel* label : box->findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
    }
    return box;
}

// Puts the question: reply gets what read makes of the answered dialog, or
// unanswered when the dialog goes without an answer; once either way.
template <typename Dialog, typename Answer, typename Read>
void ask(Dialog* dialog, Answer unanswered, Read read, UserPrompts::Reply<Answer> reply)
{
    auto answer = std::make_shared<Answer>(std::move(unanswered));
    // Read before the dialog is let go of.
    QObject::connect(
        dialog, &QDialog::finished, dialog,
        [dialog, answer, read = std::move(read)](int result) { *answer = read(dialog, result); });
    showWindowModal(dialog, [answer, reply = std::move(reply)](int) { reply(*answer); });
}

std::function<void(int)> whenClosed(std::function<void()> closed)
{
    return [closed = std::move(closed)](int) {
        if (closed) {
            closed();
        }
    };
}

void showMessage(QMessageBox* box, std::function<void()> closed)
{
    box->setStandardButtons(QMessageBox::Ok);
    showWindowModal(box, whenClosed(std::move(closed)));
}

// Asks before something is lost for good; Cancel is the default.
void confirmLoss(QWidget* window, const QString& question, const QString& consequence,
                 const QString& action, UserPrompts::Reply<bool> reply)
{
    QMessageBox* box = messageBox(QMessageBox::Warning, question, consequence, window);
    QPushButton* confirm = box->addButton(action, QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    ask(
        box, false,
        [confirm](QMessageBox* answered, int) { return answered->clickedButton() == confirm; },
        std::move(reply));
}

void chooseFile(QWidget* parent, const QString& caption, const QString& suggestedPath,
                const QString& filter, UserPrompts::Reply<QString> reply)
{
    const QFileInfo suggested(suggestedPath);
    auto* dialog = new QFileDialog(parent, caption, suggested.absolutePath(), filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->selectFile(suggested.fileName());
    ask(
        dialog, QString(),
        [](QFileDialog* answered, int result) {
            return result == QDialog::Accepted ? answered->selectedFiles().value(0) : QString();
        },
        std::move(reply));
}

// One file there is, to be read.
void chooseExistingFile(QWidget* parent, const QString& caption, const QString& filter,
                        UserPrompts::Reply<QString> reply)
{
    auto* dialog = new QFileDialog(parent, caption, {}, filter);
    dialog->setFileMode(QFileDialog::ExistingFile);
    ask(
        dialog, QString(),
        [](QFileDialog* answered, int result) {
            return result == QDialog::Accepted ? answered->selectedFiles().value(0) : QString();
        },
        std::move(reply));
}

// The question above the ports, preselected chosen first when it is among
// them; the layout takes what else is asked, then the buttons.
struct PortDialog
{
    QDialog* dialog;
    QComboBox* ports;
    QVBoxLayout* layout;
};

PortDialog portDialog(QWidget* window, const QString& question, const QStringList& ports,
                      const QString& preselected)
{
    auto* dialog = new QDialog(window);
    dialog->setWindowTitle(QCoreApplication::applicationName());
    auto* label = new QLabel(question, dialog);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* choice = new QComboBox(dialog);
    choice->setObjectName(QStringLiteral("port"));
    choice->addItems(ports);
    choice->setCurrentIndex(std::max(0, static_cast<int>(ports.indexOf(preselected))));
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(label);
    layout->addWidget(choice);
    dialog->setMinimumWidth(360); // room for long port names
    return {dialog, choice, layout};
}

void addButtons(const PortDialog& asked)
{
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, asked.dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, asked.dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, asked.dialog, &QDialog::reject);
    asked.layout->addWidget(buttons);
}

// The shares of MIDI's speed, in the order of kSendSpeeds.
QComboBox* speedChoice(QWidget* parent)
{
    auto* speed = new QComboBox(parent);
    speed->setObjectName(QStringLiteral("speed"));
    for (const SendSpeed each : kSendSpeeds) {
        speed->addItem(tr("%1 % (%2 bytes/s)")
                           .arg(percentOf(each))
                           .arg(qRound(midi::kWireSpeed * percentOf(each) / 100)));
    }
    return speed;
}

SendSpeed chosenSpeed(const QComboBox& speed)
{
    return kSendSpeeds.at(static_cast<std::size_t>(speed.currentIndex()));
}

QLabel* wrappedText(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

// The dump in one SysEx event, or in packets of a size at a speed; the
// packets' size and speed count only for packets.
struct PacketDialog
{
    QDialog* dialog;
    QRadioButton* packets;
    QSpinBox* packetSize;
    QComboBox* speed;
};

PacketDialog packetDialog(QWidget* parent)
{
    constexpr int kUsualPacket = 256;
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(tr("Export as MIDI File"));
    auto* oneEvent = new QRadioButton(tr("One SysEx event"), dialog);
    oneEvent->setChecked(true);
    auto* packets = new QRadioButton(tr("Packets of"), dialog);
    packets->setObjectName(QStringLiteral("packets"));
    auto* packetSize = new QSpinBox(dialog);
    packetSize->setObjectName(QStringLiteral("packetSize"));
    packetSize->setRange(static_cast<int>(kSmallestMidiFilePacket),
                         static_cast<int>(kAllDataFileSize));
    packetSize->setValue(kUsualPacket);
    packetSize->setSuffix(tr(" bytes"));
    QComboBox* speed = speedChoice(dialog);
    const auto packetsChosen = [packetSize, speed](bool chosen) {
        packetSize->setEnabled(chosen);
        speed->setEnabled(chosen);
    };
    packetsChosen(false);
    QObject::connect(packets, &QRadioButton::toggled, dialog, packetsChosen);

    auto* choices = new QGridLayout;
    choices->addWidget(oneEvent, 0, 0, 1, 2);
    choices->addWidget(packets, 1, 0);
    choices->addWidget(packetSize, 1, 1);
    choices->addWidget(new QLabel(tr("Timed at:"), dialog), 2, 0, Qt::AlignRight);
    choices->addWidget(speed, 2, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Choose File…"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(wrappedText(tr("How the All-Data dump goes into the MIDI file:"), dialog));
    layout->addLayout(choices);
    layout->addWidget(wrappedText(tr("Packets follow each other at the speed chosen, for a "
                                     "player or an interface that loses data when a long "
                                     "message comes at once."),
                                  dialog));
    layout->addWidget(buttons);
    return {dialog, packets, packetSize, speed};
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
    ask(
        box, SaveChoice::Cancel,
        [](QMessageBox* answered, int) {
            switch (answered->standardButton(answered->clickedButton())) {
            case QMessageBox::Save:
                return SaveChoice::Save;
            case QMessageBox::Discard:
                return SaveChoice::DontSave;
            default:
                return SaveChoice::Cancel;
            }
        },
        std::move(reply));
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
    ask(
        box, ChangedFileChoice::Cancel,
        [saveAnyway, revert](QMessageBox* answered, int) {
            const QAbstractButton* clicked = answered->clickedButton();
            return clicked == saveAnyway ? ChangedFileChoice::SaveAnyway
                   : clicked == revert   ? ChangedFileChoice::Revert
                                         : ChangedFileChoice::Cancel;
        },
        std::move(reply));
}

void DialogPrompts::showError(QWidget* parent, const QString& message, const QString& reason,
                              const QString& detail, std::function<void()> closed)
{
    QMessageBox* box = messageBox(QMessageBox::Critical, message, reason, parent);
    if (!detail.isEmpty()) {
        box->setDetailedText(detail);
    }
    showMessage(box, std::move(closed));
}

void DialogPrompts::offerSaveAs(QWidget* window, const QString& message, const QString& reason,
                                Reply<bool> reply)
{
    QMessageBox* box = messageBox(QMessageBox::Critical, message, reason, window);
    QPushButton* saveAs = box->addButton(tr("Save As…"), QMessageBox::AcceptRole);
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    ask(
        box, false,
        [saveAs](QMessageBox* answered, int) { return answered->clickedButton() == saveAs; },
        std::move(reply));
}

void DialogPrompts::offerRecovery(QWidget* parent, const QString& message, const QString& reason,
                                  const QString& detail, Reply<bool> reply)
{
    QMessageBox* box = messageBox(QMessageBox::Critical, message, reason, parent);
    if (!detail.isEmpty()) {
        box->setDetailedText(detail);
    }
    // The default: what arrived from the device is gone once this closes.
    QPushButton* recover = box->addButton(tr("Recover Patches…"), QMessageBox::AcceptRole);
    box->addButton(QMessageBox::Ok);
    box->setDefaultButton(recover);
    ask(
        box, false,
        [recover](QMessageBox* answered, int) { return answered->clickedButton() == recover; },
        std::move(reply));
}

void DialogPrompts::showWarning(QWidget* parent, const QString& message, const QString& reason,
                                std::function<void()> closed)
{
    showMessage(messageBox(QMessageBox::Warning, message, reason, parent), std::move(closed));
}

void DialogPrompts::showInformation(QWidget* parent, const QString& message, const QString& detail,
                                    std::function<void()> closed)
{
    showMessage(messageBox(QMessageBox::Information, message, detail, parent), std::move(closed));
}

void DialogPrompts::showAbout(QWidget* parent, const QString& title, const QString& text,
                              std::function<void()> closed)
{
    QMessageBox* box = messageBox(QMessageBox::NoIcon, text, {}, parent);
    box->setTextFormat(Qt::RichText); // the app's own words, the only markup shown
    box->setWindowTitle(title);
    box->setIconPixmap(QGuiApplication::windowIcon().pixmap(64, 64));
    showMessage(box, std::move(closed));
}

void DialogPrompts::choosePort(QWidget* window, const QString& question, const QStringList& ports,
                               const QString& preselected, Reply<QString> reply)
{
    const PortDialog asked = portDialog(window, question, ports, preselected);
    addButtons(asked);
    ask(
        asked.dialog, QString(),
        [choice = asked.ports](QDialog*, int result) {
            return result == QDialog::Accepted ? choice->currentText() : QString();
        },
        std::move(reply));
}

void DialogPrompts::chooseSendPort(QWidget* window, const QString& question,
                                   const QStringList& ports, const QString& preselected,
                                   const std::map<QString, SendSpeed>& lastSpeeds,
                                   Reply<SendChoice> reply)
{
    const PortDialog asked = portDialog(window, question, ports, preselected);
    QComboBox* speed = speedChoice(asked.dialog);
    const auto offerSpeedFor = [speed, lastSpeeds](const QString& port) {
        const auto last = lastSpeeds.find(port);
        const SendSpeed offered = last == lastSpeeds.end() ? SendSpeed::Full : last->second;
        speed->setCurrentIndex(
            static_cast<int>(std::ranges::find(kSendSpeeds, offered) - kSendSpeeds.begin()));
    };
    offerSpeedFor(asked.ports->currentText());
    QObject::connect(asked.ports, &QComboBox::currentTextChanged, speed, offerSpeedFor);
    auto* speedRow = new QFormLayout;
    speedRow->addRow(tr("Speed:"), speed);
    asked.layout->addLayout(speedRow);
    asked.layout->addWidget(wrappedText(tr("Choose a slower speed for an interface that loses "
                                           "data at full speed."),
                                        asked.dialog));
    addButtons(asked);
    ask(
        asked.dialog, SendChoice(),
        [choice = asked.ports, speed](QDialog*, int result) {
            return result == QDialog::Accepted
                       ? SendChoice{choice->currentText(), chosenSpeed(*speed)}
                       : SendChoice();
        },
        std::move(reply));
}

void DialogPrompts::showComparison(QWidget* window, const QString& summary,
                                   const QList<QStringList>& rows, std::function<void()> closed)
{
    if (rows.isEmpty()) {
        showMessage(messageBox(QMessageBox::Information, summary, {}, window), std::move(closed));
        return;
    }
    auto* dialog = new QDialog(window);
    dialog->setWindowTitle(tr("Compare with Device"));
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(summary, dialog);
    label->setTextFormat(Qt::PlainText);
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
    showWindowModal(dialog, whenClosed(std::move(closed)));
}

void DialogPrompts::chooseBanksToOpen(QWidget* parent, const QString& fileName,
                                      const QList<QStringList>& rows, Reply<QList<int>> reply)
{
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(tr("Open Banks"));
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(
        tr("“%1” holds %2 banks. Choose the ones to open.").arg(fileName).arg(rows.size()), dialog);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* banks = new QTreeWidget(dialog);
    banks->setObjectName(QStringLiteral("banks"));
    banks->setRootIsDecorated(false);
    banks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    banks->setHeaderLabels({tr("Place"), tr("Chain ID"), tr("First patches")});
    for (const QStringList& row : rows) {
        banks->addTopLevelItem(new QTreeWidgetItem(row));
    }
    banks->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    banks->setCurrentItem(banks->topLevelItem(0));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    QPushButton* open = buttons->addButton(tr("Open"), QDialogButtonBox::AcceptRole);
    // Not an accepting role: the box would accept before all is set.
    QPushButton* openAll = buttons->addButton(tr("Open All"), QDialogButtonBox::ActionRole);
    open->setDefault(true);
    auto all = std::make_shared<bool>(false);
    QObject::connect(openAll, &QPushButton::clicked, dialog, [dialog, all] {
        *all = true;
        dialog->accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    // Nothing chosen, nothing to open.
    QObject::connect(banks, &QTreeWidget::itemSelectionChanged, open,
                     [banks, open] { open->setEnabled(!banks->selectedItems().isEmpty()); });
    // A double click opens that bank.
    QObject::connect(banks, &QTreeWidget::itemActivated, dialog, &QDialog::accept);
    layout->addWidget(label);
    layout->addWidget(banks);
    layout->addWidget(buttons);
    dialog->resize(640, 320);
    ask(
        dialog, QList<int>(),
        [banks, all](QDialog*, int result) {
            QList<int> chosen;
            if (result != QDialog::Accepted) {
                return chosen;
            }
            for (int row = 0; row < banks->topLevelItemCount(); ++row) {
                if (*all || banks->topLevelItem(row)->isSelected()) {
                    chosen.append(row);
                }
            }
            return chosen;
        },
        std::move(reply));
}

void DialogPrompts::chooseFilesToOpen(QWidget* parent, Reply<QStringList> reply)
{
    auto* dialog = new QFileDialog(parent, tr("Open"), {}, openFilter());
    dialog->setFileMode(QFileDialog::ExistingFiles);
    ask(
        dialog, QStringList(),
        [](QFileDialog* answered, int result) {
            return result == QDialog::Accepted ? answered->selectedFiles() : QStringList();
        },
        std::move(reply));
}

void DialogPrompts::chooseFileToRecover(QWidget* parent, Reply<QString> reply)
{
    chooseExistingFile(parent, tr("Recover Patches"), openFilter(), std::move(reply));
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

void DialogPrompts::chooseSoundsExportLocation(QWidget* parent, const QString& suggestedPath,
                                               Reply<QString> reply)
{
    chooseFile(parent, tr("Export Sounds"), suggestedPath, tr("Sounds files (*.json)"),
               std::move(reply));
}

void DialogPrompts::chooseSoundsFileToImport(QWidget* parent, Reply<QString> reply)
{
    chooseExistingFile(parent, tr("Import Sounds"), tr("Sounds files (*.json);;All files (*)"),
                       std::move(reply));
}

void DialogPrompts::chooseMidiExport(QWidget* parent, const QString& suggestedPath,
                                     Reply<MidiExport> reply)
{
    const PacketDialog asked = packetDialog(parent);
    ask(
        asked.dialog, std::optional<MidiExport>(),
        [asked](QDialog*, int result) {
            return result == QDialog::Accepted
                       ? std::optional(
                             MidiExport{{},
                                        asked.packets->isChecked()
                                            ? static_cast<std::size_t>(asked.packetSize->value())
                                            : 0,
                                        chosenSpeed(*asked.speed)})
                       : std::nullopt;
        },
        Reply<std::optional<MidiExport>>(
            // Answered as the dialog finishes, over its window, which is there:
            // a dialog gone with its window answers nothing.
            [parent, suggestedPath, reply = std::move(reply)](std::optional<MidiExport> chosen) {
                if (!chosen) {
                    reply(MidiExport());
                    return;
                }
                chooseFile(parent, tr("Export as MIDI File"), suggestedPath,
                           tr("MIDI files (*.mid)"), [chosen, reply](const QString& path) {
                               MidiExport answer = *chosen;
                               answer.path = path;
                               reply(answer);
                           });
            }));
}

} // namespace a3
