#include "IndexSession.h"

#include <utility>

namespace a3::library {

IndexSession::IndexSession(std::filesystem::path file)
    : _file(std::move(file))
{}

RefreshResult IndexSession::refresh(std::span<const std::filesystem::path> folders,
                                    UpdateProgress* progress)
{
    RefreshResult result;
    if (!_index) {
        try {
            _index = std::make_unique<LibraryIndex>(_file, _damage);
        } catch (const SqliteError& error) {
            result.updated = Failure{error.what()};
            return result; // damage found in use is still to be mended
        }
        _damage.clear();
        result.rebuiltBecause = _index->rebuiltBecause();
    }
    try {
        result.update = _index->update(folders, progress);
        if (!result.update.cancelled && _index->catalogIsOutdated()) {
            result.catalog = _index->catalog();
        }
    } catch (const SqliteError& error) {
        _index.reset();
        result.updated = Failure{error.what()};
        if (error.isDamage()) {
            _damage = error.what();
        }
    }
    return result;
}

} // namespace a3::library
