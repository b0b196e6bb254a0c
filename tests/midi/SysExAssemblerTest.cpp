// Assembling System Exclusive messages from a MIDI stream cut anywhere, with
// realtime bytes inside, restarts, other status bytes and oversized messages.

#include "SysExAssembler.h"

#include <gtest/gtest.h>

namespace a3::midi {
namespace {

std::vector<std::uint8_t> sysEx(std::size_t length)
{
    std::vector<std::uint8_t> message(length);
    for (std::size_t i = 0; i < length; ++i) {
        message[i] = static_cast<std::uint8_t>(i % 0x80);
    }
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
}

std::vector<SysExMessage> assemble(SysExAssembler& assembler, std::vector<std::uint8_t> stream)
{
    return assembler.add(stream);
}

class PieceSize : public ::testing::TestWithParam<std::size_t>
{};

TEST_P(PieceSize, AssemblesAMessageFromPiecesOfAnySize)
{
    const auto message = sysEx(1000);
    std::vector<std::uint8_t> stream{0x12, 0x90, 0x3C, 0x40}; // before it: not part of it
    stream.insert(stream.end(), message.begin(), message.end());
    stream.insert(stream.end(), {0x05, 0x06, 0xF7}); // after it: no message either
    SysExAssembler assembler(2000);
    std::vector<SysExMessage> complete;
    for (std::size_t offset = 0; offset < stream.size(); offset += GetParam()) {
        const auto piece = std::span(stream).subspan(offset);
        for (auto& done : assembler.add(piece.first(std::min(GetParam(), piece.size())))) {
            complete.push_back(std::move(done));
        }
    }
    ASSERT_EQ(complete.size(), 1u);
    EXPECT_EQ(complete[0].bytes, message);
    EXPECT_EQ(complete[0].length, 1000u);
    EXPECT_EQ(assembler.bytesInMessage(), 0u);
}

INSTANTIATE_TEST_SUITE_P(SysExAssembler, PieceSize,
                         ::testing::Values(1, 2, 7, 255, 256, 257, 1000, 5000));

TEST(SysExAssembler, DropsRealtimeBytesInsideAMessage)
{
    SysExAssembler assembler(100);
    EXPECT_TRUE(assemble(assembler, {0xF0, 0x01, 0xF8, 0x02, 0xFE}).empty());
    EXPECT_EQ(assembler.bytesInMessage(), 3u);
    const auto complete = assemble(assembler, {0x03, 0xFF, 0xF7});
    ASSERT_EQ(complete.size(), 1u);
    EXPECT_EQ(complete[0].bytes, (std::vector<std::uint8_t>{0xF0, 0x01, 0x02, 0x03, 0xF7}));
}

TEST(SysExAssembler, StartsOverAtF0AndDropsAMessageOtherStatusBytesEnd)
{
    SysExAssembler assembler(100);
    const auto restarted = assemble(assembler, {0xF0, 0x01, 0x02, 0xF0, 0x03, 0xF7});
    ASSERT_EQ(restarted.size(), 1u);
    EXPECT_EQ(restarted[0].bytes, (std::vector<std::uint8_t>{0xF0, 0x03, 0xF7}));

    EXPECT_TRUE(assemble(assembler, {0xF0, 0x01, 0x90, 0x02, 0xF7}).empty());
    EXPECT_EQ(assembler.bytesInMessage(), 0u);
    EXPECT_EQ(assemble(assembler, {0xF0, 0x04, 0xF7}).size(), 1u);
}

TEST(SysExAssembler, MeasuresWhatItDoesNotKeepAndReturnsMessagesInOrder)
{
    SysExAssembler assembler(10);
    const auto message = sysEx(100);
    std::vector<std::uint8_t> stream = message;
    stream.insert(stream.end(), {0xF0, 0x05, 0xF7});
    const auto complete = assembler.add(stream);
    ASSERT_EQ(complete.size(), 2u);
    EXPECT_EQ(complete[0].length, 100u);
    EXPECT_EQ(complete[0].bytes, std::vector<std::uint8_t>(message.begin(), message.begin() + 10));
    EXPECT_EQ(complete[1].bytes, (std::vector<std::uint8_t>{0xF0, 0x05, 0xF7}));
}

} // namespace
} // namespace a3::midi
