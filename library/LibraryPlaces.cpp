#include "LibraryPlaces.h"

#include "FileReader.h"

#include <cstdlib>
#include <ctime>

namespace a3::library {
namespace {

// The application's name, as Qt makes its folders from it.
constexpr char kApplicationFolder[] = "A3 Librarian";
constexpr char kFoldersFile[] = "library-folders";
// A list of folders, one a line, is far below this.
constexpr std::uintmax_t kMaxFoldersFileSize = 1 << 20;

std::filesystem::path baseDirectory(const char* variable, const char* underHome)
{
    // As the XDG base directory rules have it, only an absolute path counts.
    if (const char* value = std::getenv(variable); value && value[0] == '/') {
        return value;
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/") / underHome;
}

} // namespace

LibraryPlaces LibraryPlaces::forCurrentUser()
{
    LibraryPlaces places;
    places._config = baseDirectory("XDG_CONFIG_HOME", ".config") / kApplicationFolder;
    places._data = baseDirectory("XDG_DATA_HOME", ".local/share") / kApplicationFolder;
    places._cache = baseDirectory("XDG_CACHE_HOME", ".cache") / kApplicationFolder;
    return places;
}

std::filesystem::path LibraryPlaces::receivedFolder() const
{
    return _data / "Received";
}

std::filesystem::path LibraryPlaces::soundsFile() const
{
    return _data / "sounds.sqlite3";
}

std::filesystem::path LibraryPlaces::indexFile() const
{
    return _cache / "library.sqlite3";
}

std::vector<std::filesystem::path> LibraryPlaces::libraryFolders() const
{
    std::vector<std::filesystem::path> folders;
    const FileRead file = readFileBounded(_config / kFoldersFile, kMaxFoldersFileSize);
    if (!file.ok()) {
        return folders; // none added yet
    }
    std::string_view text(reinterpret_cast<const char*>(file->data()), file->size());
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (end > 0) {
            folders.emplace_back(text.substr(0, end));
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return folders;
}

WriteResult LibraryPlaces::setLibraryFolders(std::span<const std::filesystem::path> folders) const
{
    std::string text;
    for (const auto& folder : folders) {
        // One a line: a name with a line break in it cannot be kept.
        if (folder.native().find('\n') != std::string::npos) {
            return Failure{"A folder's name holds a line break"};
        }
        text += folder.native() + '\n';
    }
    std::error_code error;
    std::filesystem::create_directories(_config, error);
    if (error) {
        return Failure{error.message()};
    }
    return writeFileAtomically(
        _config / kFoldersFile,
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::vector<std::filesystem::path> LibraryPlaces::searchedFolders() const
{
    std::vector<std::filesystem::path> folders = libraryFolders();
    // Made by the first bank received; until then there is nothing to miss.
    std::error_code error;
    if (std::filesystem::is_directory(receivedFolder(), error)) {
        folders.push_back(receivedFolder());
    }
    return folders;
}

std::string receivedBankName(std::chrono::system_clock::time_point time, int attempt)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
    return std::string(stamp) + (attempt > 1 ? " " + std::to_string(attempt) : "") + ".syx";
}

Result<NewFile> keepReceivedBank(const std::filesystem::path& folder,
                                 std::span<const std::uint8_t> dump,
                                 std::chrono::system_clock::time_point time)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return Failure{error.message()};
    }
    return writeNewFile(
        folder, [time](int attempt) { return receivedBankName(time, attempt); }, dump);
}

} // namespace a3::library
