// Bad input through every way a file comes in: the app's Open command, a read
// into an open document, reverting one, and a3bank list and check. Each case
// is refused with its reason; nothing hangs, crashes or changes an open
// document.

#include "AppController.h"
#include "AppTestSupport.h"
#include "ChildProcess.h"
#include "DocumentController.h"
#include "DocumentFixtures.h"
#include "DocumentWindow.h"
#include "FakePrompts.h"
#include "Isolation.h"
#include "PatchTableModel.h"
#include "QtPrinters.h"
#include "Watchdog.h"

#include <QFile>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace a3 {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeLimit = 60s;
// Reading any of these files whole would show here: the sparse one has 4 GiB.
constexpr long kPeakMemoryLimitKiB = 1024 * 1024;
const QString kNotUtf8 = QStringLiteral("The file name is not valid UTF-8 text.");

std::vector<std::uint8_t> goodBank()
{
    return A3AllDataSource{std::filesystem::path(A3_FACTORY_BANK_PATH)}.syxData();
}

void writeBank(const std::filesystem::path& path, std::size_t length)
{
    auto bytes = goodBank();
    bytes.resize(length, kEndOfExclusive);
    test::writeBytes(path, bytes);
}

// The path as the app gets it from the command line, the Open dialog or a
// drop: decoded as Qt decodes file names.
QString pathText(const std::filesystem::path& path)
{
    return QFile::decodeName(path.c_str());
}

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

struct BadInput
{
    std::string name;
    std::string fileName;
    std::function<void(const std::filesystem::path&)> make;
    QString appReason;     // the error the app shows
    std::string cliReason; // what a3bank says; empty when it takes the file
    // Whether the case can stand in for an open document's own file: the bad
    // part of a file name cannot.
    bool replacesAFile = true;
    bool needsNoPrivileges = false;
    std::string cliName{}; // how a3bank shows the name, when not as it is
};

void PrintTo(const BadInput& input, std::ostream* out)
{
    *out << input.name;
}

std::string wrongLength(std::uintmax_t length)
{
    return "wrong length: " + std::to_string(length) + " bytes, expected 29198";
}

std::vector<BadInput> badInputs()
{
    const QString invalidData = QStringLiteral("Invalid Data");
    std::vector<BadInput> inputs;
    for (std::size_t length :
         {std::size_t{0}, std::size_t{1}, kAllDataFileSize - 1, kAllDataFileSize + 1}) {
        inputs.push_back({"Length" + std::to_string(length), "bank.syx",
                          [length](const auto& path) { writeBank(path, length); }, invalidData,
                          wrongLength(length)});
    }
    // Its size modulo 2^32 is that of a good file, which a size truncated to
    // 32 bits would take for one.
    constexpr std::uintmax_t kSparseSize = (std::uintmax_t{1} << 32) + kAllDataFileSize;
    inputs.push_back({"HugeSparseFile", "huge.syx",
                      [](const auto& path) {
                          test::writeBytes(path, {});
                          std::filesystem::resize_file(path, kSparseSize);
                      },
                      invalidData, wrongLength(kSparseSize)});
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
        const std::uint8_t wrong = kAllDataHeader[i] ^ 0x01;
        inputs.push_back({"HeaderByte" + std::to_string(i), "bank.syx",
                          [i, wrong](const auto& path) {
                              auto bytes = goodBank();
                              bytes[i] = wrong;
                              test::writeBytes(path, bytes);
                          },
                          invalidData,
                          "wrong header: byte " + std::to_string(i) + " is " + hexByte(wrong) +
                              ", expected " + hexByte(kAllDataHeader[i])});
    }
    inputs.push_back({"Directory", "folder.syx",
                      [](const auto& path) { std::filesystem::create_directory(path); },
                      QStringLiteral("Is a directory"), "unreadable: Is a directory"});
    inputs.push_back({"Fifo", "fifo.syx",
                      [](const auto& path) { ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600)); },
                      QStringLiteral("Not a regular file"), "unreadable: Not a regular file"});
    BadInput locked{"NoReadPermission", "locked.syx",
                    [](const auto& path) {
                        test::writeBytes(path, goodBank());
                        std::filesystem::permissions(path, std::filesystem::perms::none);
                    },
                    QStringLiteral("Permission denied"), "unreadable: Permission denied"};
    locked.needsNoPrivileges = true;
    inputs.push_back(locked);
    // a3bank keeps names as bytes and reads the file; the app cannot hold
    // the name and refuses it.
    BadInput notUtf8{"NameNotUtf8",
                     "bank\xFF.syx",
                     [](const auto& path) { test::writeBytes(path, goodBank()); },
                     kNotUtf8,
                     {}};
    notUtf8.replacesAFile = false;
    notUtf8.cliName = "'bank'$'\\377''.syx'";
    inputs.push_back(notUtf8);
    return inputs;
}

// Whether two banks hold the same record, byte for byte.
bool sameRecord(const A3AllData& a, const A3AllData& b)
{
    return std::memcmp(&a, &b, sizeof(A3AllData)) == 0;
}

class BadInputs : public ::testing::TestWithParam<BadInput>
{};

long peakMemoryKiB(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return usage.ru_maxrss;
}

void expectTheAppRefuses(const BadInput& input, const test::TempDir& dir)
{
    const auto bad = dir / input.fileName;
    const auto own = dir / "open.syx";
    test::writeBytes(own, goodBank());
    const test::Watchdog watchdog(input.name + " in the app", kTimeLimit);
    test::FakePrompts prompts;
    AppController appController{{}, {}, [](const QUrl&) { return false; }};
    DocumentController controller{appController, prompts};

    DocumentController::OpenFailure failure;
    EXPECT_EQ(nullptr, controller.openDocument(pathText(bad), &failure));
    EXPECT_EQ(
        QStringLiteral("The document “%1” could not be opened.").arg(pathText(input.fileName)),
        failure.message);
    EXPECT_EQ(input.appReason, failure.reason);
    EXPECT_TRUE(controller.windows().isEmpty());

    DocumentWindow* window = controller.openDocument(test::qPath(own));
    ASSERT_NE(nullptr, window);
    A3AllDataDocument& document = window->document();
    document.tableModel().setObjectValue(QStringLiteral("Mine"), QStringLiteral("name"), 0);
    const A3AllData before = document.dataSource().data();
    const QString chainID = document.chainIdLabel()->text();
    const auto expectUnchanged = [&] {
        EXPECT_TRUE(sameRecord(before, document.dataSource().data()));
        EXPECT_EQ(chainID, document.chainIdLabel()->text());
        EXPECT_EQ(test::qPath(own), document.fileURL().toLocalFile());
        EXPECT_TRUE(window->isWindowModified());
    };

    DocumentError error;
    EXPECT_FALSE(document.readFromURL(QUrl::fromLocalFile(pathText(bad)), &error));
    EXPECT_EQ(input.appReason, error.description);
    expectUnchanged();

    if (input.replacesAFile) {
        std::filesystem::remove(own);
        input.make(own);
        prompts.errors.clear();
        window->revertDocumentToSaved();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->hasOpenQuestion(); }));
        EXPECT_EQ(QStringList{QStringLiteral("The document “open.syx” could not be reverted.|") +
                              input.appReason},
                  prompts.errors);
        expectUnchanged();
    }
    prompts.saveAnswers = {UserPrompts::SaveChoice::DontSave};
    EXPECT_EQ(true, test::outcomeOf([&](auto done) { controller.closeAllDocuments(done); }));
}

void expectA3BankRefuses(const BadInput& input, const test::TempDir& dir)
{
    const std::string bad = (dir / input.fileName).string();
    const std::string shown = input.cliName.empty() ? input.fileName : input.cliName;
    const test::RunResult list = test::run({A3BANK_PATH, "list", bad}, kTimeLimit);
    const test::RunResult check = test::run({A3BANK_PATH, "check", bad}, kTimeLimit);
    EXPECT_FALSE(list.exit.timedOut);
    EXPECT_FALSE(check.exit.timedOut);
    if (input.cliReason.empty()) {
        EXPECT_EQ(0, list.exit.code) << list.err;
        EXPECT_EQ(0u, list.out.find("Korg A3 SysEx File: " + shown + "\n"));
        EXPECT_EQ(0, check.exit.code);
        EXPECT_EQ(shown + ": ok\n", check.out);
        return;
    }
    EXPECT_EQ(1, list.exit.code);
    EXPECT_EQ("", list.out);
    EXPECT_EQ("a3bank: " + shown + ": " + input.cliReason + "\n", list.err);
    EXPECT_EQ(1, check.exit.code);
    EXPECT_EQ(shown + ": rejected: " + input.cliReason + "\n", check.out);
}

TEST_P(BadInputs, AreRefusedWithTheirReasonWithoutChangingAnOpenDocument)
{
    const BadInput& input = GetParam();
    if (input.needsNoPrivileges && !test::withoutPrivileges()) {
        return;
    }
    const test::TempDir dir;
    input.make(dir / input.fileName);
    expectTheAppRefuses(input, dir);
    expectA3BankRefuses(input, dir);
    EXPECT_LT(peakMemoryKiB(RUSAGE_SELF), kPeakMemoryLimitKiB);
    EXPECT_LT(peakMemoryKiB(RUSAGE_CHILDREN), kPeakMemoryLimitKiB);
}

INSTANTIATE_TEST_SUITE_P(Files, BadInputs, ::testing::ValuesIn(badInputs()),
                         [](const auto& param) { return param.param.name; });

TEST(NamesNotUtf8, AreRefusedForWritingByTheAppInsteadOfWritingAnotherFile)
{
    const test::TempDir dir;
    const auto good = dir / "good.syx";
    test::writeBytes(good, goodBank());
    // Qt gives a drop's address the same text as the command line and the
    // file dialogs give the name, with the byte lost.
    const std::filesystem::path raw = dir / "new\xFF.syx";
    const QString text = pathText(raw);
    EXPECT_EQ(text, QUrl::fromEncoded(QUrl::fromLocalFile(test::qPath(dir.path())).toEncoded() +
                                      "/new%FF.syx")
                        .toLocalFile());
    EXPECT_NE(QByteArray(raw.c_str()), QFile::encodeName(text));

    test::FakePrompts prompts;
    AppController appController{{}, {}, [](const QUrl&) { return false; }};
    DocumentController controller{appController, prompts};
    DocumentWindow* window = controller.newDocument();
    prompts.saveLocation = text;
    EXPECT_EQ(false, test::outcomeOf([&](auto done) { window->save(done); }));
    EXPECT_EQ(QStringList{QStringLiteral("The document “Untitled” could not be saved as “%1”.|%2")
                              .arg(pathText(raw.filename()), kNotUtf8)},
              prompts.errors);
    EXPECT_TRUE(window->document().fileURL().isEmpty());
    EXPECT_EQ(true, test::outcomeOf([&](auto done) { window->closeDocument(done); }));

    // Nothing was written, under any name.
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()),
                               std::filesystem::directory_iterator()));
}

} // namespace
} // namespace a3
