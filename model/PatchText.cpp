#include "PatchText.h"

#include "A3AllData.h"

#include <cstdio>

namespace a3 {

std::string listingTitle(const std::string& bankName)
{
    return "Korg A3 SysEx File: " + bankName;
}

std::string chainIdText(std::uint16_t chainChecksum)
{
    char text[24];
    std::snprintf(text, sizeof text, "Chain ID: %04x", static_cast<unsigned>(chainChecksum));
    return text;
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
    return std::string(number) + " :  " + chainText(chainNumber) + "   : " + name;
}

} // namespace a3
