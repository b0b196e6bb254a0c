#include "AppController.h"

#include "A3AllDataSource.h"

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
