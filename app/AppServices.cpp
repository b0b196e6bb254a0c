#include "AppServices.h"

#include "Library.h"
#include "LibraryPlaces.h"
#include "PrintLayout.h"
#include "Sounds.h"
#include "UserPrompts.h"

#include <QApplication>

namespace a3 {

AppServices::AppServices(UserPrompts& prompts, DeviceLink::Settings device)
    : _prompts(prompts)
    , _deviceLink(std::move(device))
{}

AppServices::~AppServices() = default;

QPageLayout AppServices::defaultPageLayout()
{
    if (!_defaultPageLayout) {
        _defaultPageLayout = a3::defaultPageLayout();
    }
    return *_defaultPageLayout;
}

Library& AppServices::library()
{
    if (!_library) {
        _library = std::make_unique<Library>(library::LibraryPlaces::forCurrentUser());
    }
    return *_library;
}

Sounds& AppServices::sounds()
{
    if (!_sounds) {
        _sounds = std::make_unique<Sounds>(library::LibraryPlaces::forCurrentUser().soundsFile());
        connect(_sounds.get(), &Sounds::changeFailed, this,
                [this](const QString& text, const QString& reason) {
                    _prompts.showWarning(QApplication::activeWindow(), text, reason, {});
                });
    }
    return *_sounds;
}

} // namespace a3
