#pragma once

#include "BankDiff.h"
#include "DeviceLink.h"
#include "UserPrompts.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

namespace a3 {

class A3AllDataDocument;
class AppServices;
class DocumentController;
class ProgressDialog;
class WindowQuestions;

// What a comparison with the device tells the user: a sentence, and a row for
// each patch that differs (number, name here, name on the device).
struct ComparisonReport
{
    QString summary;
    QList<QStringList> rows;
};
ComparisonReport comparisonReport(const BankDifference& difference, const QString& documentName);

// The Device menu of one window: send its bank to the device, receive the
// device's bank into a new window, and compare the two. Each command holds
// the app's device link from its first question to its last message; every
// dialog it shows, and every transfer until it reports, is one of the
// window's questions.
class DeviceCommands : public QObject
{
    Q_OBJECT

public:
    DeviceCommands(A3AllDataDocument& document, WindowQuestions& questions, AppServices& services,
                   DocumentController& controller);

    void sendBank();
    void receiveBank();
    void compareWithDevice();

private:
    // Lists the ports; then with them, unless there are none to be had, which
    // ends the command with the reason.
    void withPorts(DeviceLink::Direction direction,
                   std::function<void(const QStringList& ports)> then);
    // Asks for an input; then with the port chosen. A refusal or a cancel
    // ends the command.
    void chooseInput(const QString& question, std::function<void(const QString& port)> then);
    // Sends the dump where and as fast as the user chose, showing how far it
    // has come and how long the rest takes.
    void sendTo(const UserPrompts::SendChoice& choice, const QString& name,
                std::vector<std::uint8_t> dump);
    // Waits for a dump from the port, showing how long it has waited; then
    // with the dump, unless it was refused, timed out or cancelled. A dump
    // that stopped short is offered for its patches to be recovered, when
    // recoverCut.
    void receiveFrom(const QString& port, std::function<void(std::vector<std::uint8_t>)> then,
                     bool recoverCut = false);
    // Ends the command, offering to recover the patches of what arrived.
    void offerRecovery(const QString& port, const midi::TransferResult& result);
    // Closed in any way by the user, it cancels the transfer.
    ProgressDialog* showProgress(const QString& text, int maximum);
    // Ends the command with a message; a cancelled one ends quietly.
    void endWith(const QString& message, const QString& reason);

    A3AllDataDocument& _document;
    WindowQuestions& _questions;
    DeviceLink& _link;
    AppServices& _services;
    DocumentController& _controller;
};

} // namespace a3
