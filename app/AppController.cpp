#include "AppController.h"

#include "A3AllDataSource.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace a3 {
namespace {

QJsonObject bundledStrings()
{
    QFile file(QStringLiteral(":/strings.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

AppController::AppController(QJsonObject strings, QString resourceDirectory, UrlOpener openUrl)
    : _strings(std::move(strings))
    , _resourceDirectory(std::move(resourceDirectory))
    , _openUrl(std::move(openUrl))
{}

AppController::AppController()
    : AppController(bundledStrings(),
                    QString::fromStdString(applicationResourceDirectory().string()),
                    [](const QUrl& url) { return QDesktopServices::openUrl(url); })
{}

void AppController::applicationDidFinishLaunching() {}

QString AppController::localizedString(const QString& key) const
{
    const QJsonValue value = _strings.value(key);
    return value.isString() ? value.toString() : key;
}

QUrl AppController::webSiteURL() const
{
    // A relative address names a page shipped in the resource folder; the
    // key itself (what a missing entry yields) names nothing there.
    QUrl url(localizedString(QStringLiteral("kWebSiteURL")), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty()) {
        return {};
    }
    if (url.isRelative()) {
        url = QUrl::fromLocalFile(QDir(_resourceDirectory).filePath(url.path()));
    }
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        return {};
    }
    return url;
}

void AppController::openWebSite()
{
    if (const QUrl url = webSiteURL(); !url.isEmpty()) {
        _openUrl(url);
    }
}

} // namespace a3
