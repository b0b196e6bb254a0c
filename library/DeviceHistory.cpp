#include "DeviceHistory.h"

#include "AllDataFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <tuple>
#include <unordered_map>

namespace a3::library {
namespace {

namespace fs = std::filesystem;

// The digits of text from start, or nothing when any is not one.
std::optional<int> digitsAt(std::string_view text, std::size_t start, std::size_t count)
{
    int value = 0;
    for (std::size_t k = start; k < start + count; ++k) {
        if (text[k] < '0' || text[k] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[k] - '0');
    }
    return value;
}

std::chrono::system_clock::time_point modificationTime(const struct stat& status)
{
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(status.st_mtim.tv_sec) +
            std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
}

// The files read before, by their paths.
using Earlier = std::unordered_map<std::string, const ReceivedFile*>;

ReceivedFile readReceivedFile(const fs::path& path, const struct stat& status,
                              const Earlier& earlier)
{
    ReceivedFile file;
    file.path = path;
    file.identity = identityOf(status);
    if (const auto named = arrivalFromName(path.filename().native())) {
        file.arrived = named->time;
        file.attempt = named->attempt;
        file.arrivalFromName = true;
    } else {
        file.arrived = modificationTime(status);
    }
    if (const auto known = earlier.find(path.native());
        known != earlier.end() && known->second->identity == file.identity) {
        file.bank = known->second->bank;
        file.problem = known->second->problem;
        return file;
    }
    auto read = readAllDataFile(path);
    if (!read.ok()) {
        file.problem = read.failure().reason;
        return file;
    }
    Result<A3AllDataSource> bank = A3AllDataSource::fromSyxData(*read);
    if (!bank.ok()) {
        file.problem = bank.failure().reason; // checked by the read: never
        return file;
    }
    file.bank = std::make_shared<const A3AllDataSource>(std::move(bank).value());
    return file;
}

// What changing the chain data changes: its bytes, or the ID the Library
// and the device's display know it by (a stored checksum may disagree with
// the bytes in a file that is kept as it came).
bool chainDiffers(const A3AllData& before, const A3AllData& after)
{
    return before.chain != after.chain || before.checksum != after.checksum;
}

} // namespace

std::optional<NamedArrival> arrivalFromName(std::string_view fileName)
{
    // "2026-12-07 14.03.22.syx", or "2026-12-07 14.03.22 2.syx"
    constexpr std::string_view kEnding = ".syx";
    constexpr std::size_t kStampLength = 19;
    if (fileName.size() < kStampLength + kEnding.size() || !fileName.ends_with(kEnding)) {
        return std::nullopt;
    }
    const std::string_view stamp = fileName.substr(0, kStampLength);
    const std::string_view rest =
        fileName.substr(kStampLength, fileName.size() - kStampLength - kEnding.size());
    for (const auto& [at, separator] :
         {std::pair<std::size_t, char>{4, '-'}, {7, '-'}, {10, ' '}, {13, '.'}, {16, '.'}}) {
        if (stamp[at] != separator) {
            return std::nullopt;
        }
    }
    const auto year = digitsAt(stamp, 0, 4);
    const auto month = digitsAt(stamp, 5, 2);
    const auto day = digitsAt(stamp, 8, 2);
    const auto hour = digitsAt(stamp, 11, 2);
    const auto minute = digitsAt(stamp, 14, 2);
    const auto second = digitsAt(stamp, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) {
        return std::nullopt;
    }
    int attempt = 1;
    if (!rest.empty()) {
        // " 2" and up, as the names of later banks of one second are made.
        constexpr std::size_t kMaxDigits = 6;
        if (rest.size() < 2 || rest.size() > 1 + kMaxDigits || rest[0] != ' ' || rest[1] == '0') {
            return std::nullopt;
        }
        const auto number = digitsAt(rest, 1, rest.size() - 1);
        if (!number || *number < 2) {
            return std::nullopt;
        }
        attempt = *number;
    }
    std::tm local{};
    local.tm_year = *year - 1900;
    local.tm_mon = *month - 1;
    local.tm_mday = *day;
    local.tm_hour = *hour;
    local.tm_min = *minute;
    local.tm_sec = *second;
    local.tm_isdst = -1;
    const std::tm asked = local;
    const std::time_t time = std::mktime(&local);
    // mktime moves what is out of range on (February 30 to March 2): such a
    // name was never a time the app wrote.
    if (time == -1 || local.tm_year != asked.tm_year || local.tm_mon != asked.tm_mon ||
        local.tm_mday != asked.tm_mday || local.tm_hour != asked.tm_hour ||
        local.tm_min != asked.tm_min || local.tm_sec != asked.tm_sec) {
        return std::nullopt;
    }
    return NamedArrival{std::chrono::system_clock::from_time_t(time), attempt};
}

Result<std::vector<ReceivedFile>> readDeviceHistory(const fs::path& folder,
                                                    std::span<const ReceivedFile> earlier)
{
    Earlier known;
    for (const ReceivedFile& file : earlier) {
        known.emplace(file.path.native(), &file);
    }
    std::vector<ReceivedFile> files;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error == std::errc::no_such_file_or_directory) {
        return files; // nothing received yet
    }
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& path = entries->path();
        if (path.filename().native().starts_with('.')) {
            continue;
        }
        struct stat status
        {};
        if (::stat(path.c_str(), &status) != 0) {
            // A link to nothing: listed with why, at its name's time if it has one.
            ReceivedFile file;
            file.path = path;
            file.problem = std::strerror(errno);
            if (const auto named = arrivalFromName(path.filename().native())) {
                file.arrived = named->time;
                file.attempt = named->attempt;
                file.arrivalFromName = true;
            }
            files.push_back(std::move(file));
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            continue;
        }
        files.push_back(readReceivedFile(path, status, known));
    }
    if (error) {
        return Failure{error.message()};
    }
    std::ranges::sort(files, [](const ReceivedFile& a, const ReceivedFile& b) {
        return std::tie(a.arrived, a.attempt, a.path) > std::tie(b.arrived, b.attempt, b.path);
    });
    return files;
}

std::optional<std::size_t> bankBefore(std::span<const ReceivedFile> files, std::size_t index)
{
    for (std::size_t older = index + 1; older < files.size(); ++older) {
        if (files[older].bank) {
            return older;
        }
    }
    return std::nullopt;
}

BankChanges changesBetween(const A3AllDataSource& before, const A3AllDataSource& after)
{
    const A3AllData first = before.data();
    const A3AllData second = after.data();
    BankChanges changes;
    changes.chainIdBefore = before.chainChecksum();
    changes.chainIdAfter = after.chainChecksum();
    changes.chainDataDiffers = chainDiffers(first, second);
    constexpr std::size_t kNameEnd = kPatchNameOffset + kPatchNameLength;
    for (std::size_t index = 0; index < kPatchCount; ++index) {
        const auto& a = first.patch[index];
        const auto& b = second.patch[index];
        const bool soundDiffers = !std::equal(a.begin(), a.begin() + kPatchNameOffset, b.begin()) ||
                                  !std::equal(a.begin() + kNameEnd, a.end(), b.begin() + kNameEnd);
        const bool nameDiffers = !std::equal(a.begin() + kPatchNameOffset, a.begin() + kNameEnd,
                                             b.begin() + kPatchNameOffset);
        // Where the sound's bytes are the same, so is the chain byte.
        const bool playsChangedChain = changes.chainDataDiffers && a[0] >= kChainDataRefThreshold;
        if (!soundDiffers && !nameDiffers && !playsChangedChain) {
            continue;
        }
        const auto row = static_cast<std::int64_t>(index);
        changes.patches.push_back({static_cast<int>(index) + 1, before.patchNameAt(row),
                                   after.patchNameAt(row),
                                   soundDiffers        ? PatchChange::Kind::Sound
                                   : playsChangedChain ? PatchChange::Kind::ChainData
                                                       : PatchChange::Kind::Renamed});
    }
    return changes;
}

} // namespace a3::library
