#pragma once

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

    // resourceDirectory: where the user guide is; openUrl: how an address is
    // opened.
    AppController(QString resourceDirectory, UrlOpener openUrl);
    // The app as installed: its resource folder and the desktop's handler for
    // addresses.
    AppController();

    // What the About box says, as rich text.
    static QString aboutText();
    // The user guide shipped with the app; empty when it is missing.
    QUrl webSiteURL() const;
    void openWebSite();

private:
    QString _resourceDirectory;
    UrlOpener _openUrl;
};

} // namespace a3
