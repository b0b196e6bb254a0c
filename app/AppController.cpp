#include "AppController.h"

#include "A3AllDataSource.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace a3 {

AppController::AppController(QString resourceDirectory, UrlOpener openUrl)
    : _resourceDirectory(std::move(resourceDirectory))
    , _openUrl(std::move(openUrl))
{}

AppController::AppController()
    : AppController(QString::fromStdString(applicationResourceDirectory().string()),
                    [](const QUrl& url) { return QDesktopServices::openUrl(url); })
{}

QString AppController::aboutText()
{
    return tr("<p><b>A3 Librarian</b> %1</p><p>Keeps the patch banks of the A3 multi-effects "
              "processor: rename, copy, print and save All-Data files.</p>")
        .arg(QCoreApplication::applicationVersion());
}

QUrl AppController::webSiteURL() const
{
    const QString page = QDir(_resourceDirectory).filePath(QStringLiteral("help/index.html"));
    return QFileInfo::exists(page) ? QUrl::fromLocalFile(page) : QUrl();
}

void AppController::openWebSite()
{
    if (const QUrl url = webSiteURL(); !url.isEmpty()) {
        _openUrl(url);
    }
}

} // namespace a3
