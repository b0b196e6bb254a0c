// Assembling System Exclusive messages from a MIDI stream cut anywhere, with
// realtime bytes inside, restarts, other status bytes and oversized messages.

#include "SysExAssembler.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace a3::midi {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SysExAssembler, AssemblesAMessageFromPiecesOfAnySize)
{
    const auto message = test::wellFormedAllDataFile();
    Bytes stream{0x12, 0x90, 0x3C, 0x40}; // before it: not part of it
    stream.insert(stream.end(), message.begin(), message.end());
    stream.insert(stream.end(), {0x05, 0x06, 0xF7}); // after it: no message either
    for (const std::size_t size : {1, 2, 7, 255, 256, 257, 1000, 30000}) {
        SysExAssembler assembler(message.size());
        std::vector<SysExMessage> complete;
        for (std::size_t offset = 0; offset < stream.size(); offset += size) {
            const auto piece = std::span(stream).subspan(offset);
            for (auto& done : assembler.add(piece.first(std::min(size, piece.size())))) {
                complete.push_back(std::move(done));
            }
        }
        ASSERT_EQ(complete.size(), 1u) << size;
        EXPECT_EQ(complete[0].bytes, message) << size;
        EXPECT_EQ(complete[0].length, message.size()) << size;
        EXPECT_EQ(assembler.bytesInMessage(), 0u) << size;
    }
}

// Realtime bytes inside are dropped, F0 starts over, another status byte
// drops the message; one over the size kept is measured whole, and messages
// come in order.
TEST(SysExAssembler, KeepsOnlyWholeMessagesAndMeasuresWhatItDoesNotKeep)
{
    SysExAssembler assembler(10);
    EXPECT_TRUE(assembler.add(Bytes{0xF0, 0x01, 0xF8, 0x02, 0xFE}).empty());
    EXPECT_EQ(assembler.bytesInMessage(), 3u);
    auto stream = Bytes{0x03, 0xFF, 0xF7, 0xF0, 0x01, 0x02, 0xF0, 0x03, 0xF7};
    stream.insert(stream.end(), {0xF0, 0x01, 0x90, 0x02, 0xF7});
    const auto big = test::wellFormedAllDataFile();
    stream.insert(stream.end(), big.begin(), big.end());
    const auto complete = assembler.add(stream);
    ASSERT_EQ(complete.size(), 3u);
    EXPECT_EQ(complete[0].bytes, (Bytes{0xF0, 0x01, 0x02, 0x03, 0xF7}));
    EXPECT_EQ(complete[1].bytes, (Bytes{0xF0, 0x03, 0xF7}));
    EXPECT_EQ(complete[2].bytes, Bytes(big.begin(), big.begin() + 10));
    EXPECT_EQ(complete[2].length, big.size());
    EXPECT_EQ(assembler.bytesInMessage(), 0u);
}

} // namespace
} // namespace a3::midi
