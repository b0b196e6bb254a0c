#pragma once

#include "A3AllDataDocument.h"
#include "TempDir.h"

#include <QString>
#include <memory>

namespace a3::test {

inline QString qPath(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// A document of the shipped factory bank, as File > New makes it.
inline std::unique_ptr<A3AllDataDocument> factoryDocument()
{
    return std::make_unique<A3AllDataDocument>(
        *A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH));
}

inline std::filesystem::path writeFactoryBank(const std::filesystem::path& path)
{
    writeBytes(path, A3AllDataSource::fromFactoryBank(A3_FACTORY_BANK_PATH)->syxData());
    return path;
}

// The file the document would save now.
inline std::vector<std::uint8_t> fileContent(const A3AllDataDocument& document)
{
    return A3AllDataSource(document.bank()).syxData();
}

using Patches = std::vector<std::vector<std::uint8_t>>;

inline Patches allPatches(const A3AllDataDocument& document)
{
    Patches patches;
    for (int row = 0; row < 100; ++row) {
        patches.push_back(document.bank().patchDataAt(row));
    }
    return patches;
}

} // namespace a3::test
