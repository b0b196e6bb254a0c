// A dump written as a MIDI file: read back by our scanner and by midicsv, in
// one event and in packets timed at the rate they go out.

#include "MidiFileWriter.h"

#include "ChildProcess.h"
#include "DumpScanner.h"
#include "TempDir.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

namespace a3 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes sampleDump()
{
    return test::wellFormedAllDataFile();
}

std::span<const std::uint8_t, kAllDataFileSize> whole(const Bytes& dump)
{
    return std::span<const std::uint8_t, kAllDataFileSize>(dump.data(), kAllDataFileSize);
}

TEST(MidiFileWriter, OurScannerReadsBackTheSameDumpAtAnyPacketSizeAndRate)
{
    const Bytes dump = sampleDump();
    for (const std::size_t packetSize :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{64}, std::size_t{127},
          std::size_t{128}, kAllDataFileSize - 1, kAllDataFileSize, std::size_t{1} << 20}) {
        for (const double rate : {3125.0, 781.25, 0.0, std::nan("")}) {
            SCOPED_TRACE(testing::Message() << packetSize << " bytes a packet at " << rate);
            const Bytes file = midiFileOfDump(whole(dump), {packetSize, rate});
            const DumpScan scan = scanForDumps(file);
            EXPECT_EQ(ScannedKind::MidiFile, scan.kind);
            ASSERT_EQ(1u, scan.dumps.size());
            EXPECT_EQ(dump, scan.dumps[0].bytes);
            EXPECT_EQ(1u, scan.midiFileTracks);
            EXPECT_EQ(0u, scan.otherSysEx + scan.otherMessages + scan.strayBytes);
            EXPECT_EQ("", scan.stopReason);
            const bool packets = packetSize > 0 && packetSize < kAllDataFileSize;
            // The SysEx events, a tempo event with packets, and the end of the track.
            const std::size_t events =
                packets ? (kAllDataFileSize + packetSize - 1) / packetSize + 2 : 2;
            EXPECT_EQ(events, scan.midiFileEvents);
        }
    }
}

// midicsv's lines for a file: "track, time, type, fields...".
std::vector<std::vector<std::string>> midicsvRecords(const Bytes& file)
{
    test::TempDir dir;
    test::writeBytes(dir / "dump.mid", file);
    const auto result = test::run({A3_MIDICSV_PATH, (dir / "dump.mid").string()});
    EXPECT_EQ(0, result.exit.code) << result.err;
    EXPECT_EQ("", result.err);
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ',');) {
            fields.push_back(field.substr(field.find_first_not_of(' ')));
        }
        records.push_back(fields);
    }
    return records;
}

TEST(MidiFileWriter, MidicsvReadsTheDumpAsOneSysExEvent)
{
    const Bytes dump = sampleDump();
    const auto records = midicsvRecords(midiFileOfDump(whole(dump)));
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ((std::vector<std::string>{"0", "0", "Header", "0", "1", "25000"}), records[0]);
    EXPECT_EQ((std::vector<std::string>{"1", "0", "Start_track"}), records[1]);
    const auto& sysEx = records[2];
    ASSERT_EQ(4 + kAllDataFileSize - 1, sysEx.size());
    EXPECT_EQ((std::vector<std::string>{"1", "0", "System_exclusive", "29197"}),
              std::vector<std::string>(sysEx.begin(), sysEx.begin() + 4));
    Bytes data{0xF0};
    for (std::size_t i = 4; i < sysEx.size(); ++i) {
        data.push_back(static_cast<std::uint8_t>(std::stoi(sysEx[i])));
    }
    EXPECT_EQ(dump, data);
    EXPECT_EQ((std::vector<std::string>{"1", "0", "End_track"}), records[3]);
    EXPECT_EQ((std::vector<std::string>{"0", "0", "End_of_file"}), records[4]);
}

TEST(MidiFileWriter, MidicsvReadsPacketsTimedAsTheyGoOut)
{
    const Bytes dump = sampleDump();
    const struct
    {
        std::size_t packetSize;
        double rate;
        long ticksPerPacket; // exact: 50000 ticks a second
    } cases[] = {{64, 3125, 1024}, {64, 1562.5, 2048}, {100, 781.25, 6400}, {256, 3000, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.packetSize << " at " << c.rate);
        const auto records = midicsvRecords(midiFileOfDump(whole(dump), {c.packetSize, c.rate}));
        const std::size_t packets = (kAllDataFileSize + c.packetSize - 1) / c.packetSize;
        ASSERT_EQ(packets + 5, records.size());
        EXPECT_EQ((std::vector<std::string>{"1", "0", "Tempo", "500000"}), records[2]);
        Bytes data{0xF0};
        for (std::size_t k = 0; k < packets; ++k) {
            const auto& packet = records[3 + k];
            ASSERT_LE(4u, packet.size());
            EXPECT_EQ(k == 0 ? "System_exclusive" : "System_exclusive_packet", packet[2]);
            EXPECT_EQ(std::to_string(packet.size() - 4), packet[3]);
            // When the bytes before it have gone out: never before, at most
            // a tick after.
            const double due = static_cast<double>(k * c.packetSize) * 50000 / c.rate;
            const long tick = std::stol(packet[1]);
            if (c.ticksPerPacket > 0) {
                EXPECT_EQ(static_cast<long>(k) * c.ticksPerPacket, tick);
            }
            EXPECT_GE(static_cast<double>(tick), due);
            EXPECT_LT(static_cast<double>(tick), due + 1);
            for (std::size_t i = 4; i < packet.size(); ++i) {
                data.push_back(static_cast<std::uint8_t>(std::stoi(packet[i])));
            }
        }
        EXPECT_EQ(dump, data);
        EXPECT_EQ("End_track", records[3 + packets][2]);
    }
}

} // namespace
} // namespace a3
