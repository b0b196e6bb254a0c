#include "AppController.h"
#include "DocumentController.h"
#include "PasteboardTypes.h"
#include "UserPrompts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

int main(int argc, char** argv)
{
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
    parser.process(application);

    a3::AppController appController;
    a3::DialogPrompts prompts;
    a3::DocumentController documents(appController, prompts);
    documents.openDocuments(parser.positionalArguments());
    if (documents.windows().isEmpty()) {
        documents.newDocument();
    }
    return QApplication::exec();
}
