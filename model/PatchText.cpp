#include "PatchText.h"

#include "A3AllDataSource.h"

#include <cstdio>

namespace a3 {

std::string listingTitle(const std::string& bankName)
{
    return "Korg A3 SysEx File: " + bankName;
}

std::string chainId(std::uint16_t chainChecksum)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(chainChecksum));
    return text;
}

std::string chainIdText(std::uint16_t chainChecksum)
{
    return "Chain ID: " + chainId(chainChecksum);
}

std::string chainText(std::int32_t chainNumber)
{
    char text[16];
    if (chainNumber < static_cast<std::int32_t>(kChainDataRefThreshold)) {
        std::snprintf(text, sizeof text, "%02d", chainNumber);
    } else {
        std::snprintf(text, sizeof text, "C%d",
                      chainNumber - static_cast<std::int32_t>(kChainDataRefThreshold));
    }
    return text;
}

std::string patchLine(std::int64_t index, std::int32_t chainNumber, const std::string& name)
{
    char number[24];
    std::snprintf(number, sizeof number, "%3lld", static_cast<long long>(index + 1));
    return std::string(number) + " :  " + chainText(chainNumber) + "   : " +
           printablePatchName(name);
}

std::string printablePatchName(const std::string& name)
{
    std::string shown;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xC2 && i + 1 < name.size() &&
                        static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(name[i + 1]) < 0xA0;
        if (byte < 0x20 || byte == 0x7F || c1) {
            shown += '?';
            i += c1 ? 1 : 0;
        } else {
            shown += name[i];
        }
    }
    return shown;
}

std::string textListing(const A3AllDataSource& bank, const std::string& bankName)
{
    std::string text = listingTitle(bankName) + '\n' + chainIdText(bank.chainChecksum()) + '\n' +
                       kListingHeader + '\n';
    for (std::int64_t i = 0; i < bank.numberOfRows(); ++i) {
        text += patchLine(i, bank.chainAtIndex(i), bank.patchNameAt(i));
        text += '\n';
    }
    return text;
}

std::u16string storablePatchName(std::u16string_view name)
{
    std::u16string stored(name.substr(0, kPatchNameLength));
    for (char16_t& c : stored) {
        if (!isPatchNameCharacter(c)) {
            c = u' ';
        }
    }
    return stored.substr(0, stored.find_last_not_of(u' ') + 1);
}

} // namespace a3
