#pragma once

#include "DeviceLink.h"

#include <QObject>
#include <QPageLayout>
#include <memory>
#include <optional>

namespace a3 {

class Library;
class Sounds;
class UserPrompts;

// What the app's windows share besides their documents: the link to the
// device (one transfer at a time), the page layout printing starts from,
// the library and what the user said of their sounds. The library and the
// sounds are made when first asked for, so that a run that never uses them
// never opens their files.
class AppServices : public QObject
{
    Q_OBJECT

public:
    explicit AppServices(UserPrompts& prompts,
                         DeviceLink::Settings device = DeviceLink::defaultSettings());
    ~AppServices() override;

    DeviceLink& deviceLink() { return _deviceLink; }
    // Portrait, one-inch margins, the default printer's paper: asked of the
    // print system at the first print, not at start-up, as that loads it.
    QPageLayout defaultPageLayout();
    Library& library();
    // The library when it was made; nothing to bring up to date otherwise.
    Library* libraryIfMade() { return _library.get(); }
    // A change that could not be kept is told over the window in front.
    Sounds& sounds();

private:
    UserPrompts& _prompts;
    DeviceLink _deviceLink;
    // Asking the print system for its default paper can be slow: once a run.
    std::optional<QPageLayout> _defaultPageLayout;
    std::unique_ptr<Library> _library;
    std::unique_ptr<Sounds> _sounds;
};

} // namespace a3
