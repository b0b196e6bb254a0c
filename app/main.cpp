#include "AppController.h"
#include "AppInstance.h"
#include "DocumentController.h"
#include "EndingSignals.h"
#include "PasteboardTypes.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>

int main(int argc, char** argv)
{
    // A session that ends, or a kill, during a save leaves no temporary file.
    a3::removeTemporaryFilesOnEndingSignals();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("A3 Librarian"));
    QApplication::setApplicationVersion(QStringLiteral(A3_VERSION));
    QApplication::setOrganizationDomain(QStringLiteral("a3librarian.org"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(a3::kApplicationIdentifier));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon.svg")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Patch-bank librarian for the A3"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("All-Data files to open."),
                                 QStringLiteral("[files...]"));
    const QCommandLineOption newInstance(
        QStringLiteral("new-instance"),
        QStringLiteral("Start an app of its own, even when one is running already."));
    parser.addOption(newInstance);
    parser.process(application);

    a3::AppInstance instance(a3::AppInstance::defaultSocketPath());
    if (!parser.isSet(newInstance) &&
        instance.start(QDir::currentPath(), parser.positionalArguments()) ==
            a3::AppInstance::Start::HandedOver) {
        return 0;
    }
    a3::AppController appController;
    a3::DialogPrompts prompts;
    a3::DocumentController documents(appController, prompts);
    QObject::connect(&instance, &a3::AppInstance::filesRequested, &documents,
                     &a3::DocumentController::openRequested);
    documents.openRequested(parser.positionalArguments());
    // None of the files opened, and none is still to be chosen from.
    if (documents.windows().isEmpty() && !documents.askingWhichBanks()) {
        documents.newDocument();
    }
    return QApplication::exec();
}
