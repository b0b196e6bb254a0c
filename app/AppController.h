#pragma once

#include <QJsonObject>
#include <QObject>
#include <QUrl>
#include <functional>

namespace a3 {

// The application's own commands, apart from any document.
class AppController : public QObject
{
    Q_OBJECT

public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    // strings: the application's string table; resourceDirectory: where
    // relative addresses in it point; openUrl: how an address is opened.
    AppController(QJsonObject strings, QString resourceDirectory, UrlOpener openUrl);
    // The app as installed: its string resource, its resource folder and the
    // desktop's handler for addresses.
    AppController();

    // The value under key, or the key itself when the table has none.
    QString localizedString(const QString& key) const;
    // The address the web-site command opens; empty when it has none usable.
    QUrl webSiteURL() const;

public slots:
    void applicationDidFinishLaunching();
    void openWebSite();

private:
    QJsonObject _strings;
    QString _resourceDirectory;
    UrlOpener _openUrl;
};

} // namespace a3
