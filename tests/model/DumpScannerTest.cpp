// Finding dumps in files: bare dumps, MIDI message streams, Standard MIDI
// Files (made by csvmidi, and broken ones made here), RIFF MIDI files and hex
// text; what is counted besides, why a scan stops, and what the user is told.

#include "DumpScanner.h"

#include "LargestAllocation.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <string_view>

namespace a3 {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& golden()
{
    static const Bytes bytes =
        test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "factory-bank.syx");
    return bytes;
}

Bytes scanFile(const char* name)
{
    return test::readBytes(std::filesystem::path(A3_TEST_DATA_DIR) / "scan" / name);
}

Bytes concat(std::initializer_list<Bytes> pieces)
{
    Bytes all;
    for (const Bytes& piece : pieces) {
        all.insert(all.end(), piece.begin(), piece.end());
    }
    return all;
}

Bytes prefix(const Bytes& bytes, std::size_t count)
{
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count)};
}

Bytes text(std::string_view chars)
{
    return {chars.begin(), chars.end()};
}

// The pieces of a Standard MIDI File, written out by hand so that broken
// ones can be made too.
Bytes quantity(std::uint32_t value)
{
    Bytes bytes{static_cast<std::uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) {
        bytes.insert(bytes.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    }
    return bytes;
}

Bytes bigEndian(std::uint32_t value, int bytes)
{
    Bytes out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return out;
}

Bytes chunk(std::string_view id, const Bytes& body, std::int64_t claimed = -1)
{
    return concat({text(id),
                   bigEndian(claimed < 0 ? static_cast<std::uint32_t>(body.size())
                                         : static_cast<std::uint32_t>(claimed),
                             4),
                   body});
}

Bytes midiHeader(std::uint16_t format = 0, std::uint16_t tracks = 1)
{
    return chunk("MThd", concat({bigEndian(format, 2), bigEndian(tracks, 2), bigEndian(96, 2)}));
}

// delta F0|F7 length data
Bytes sysExEvent(std::uint8_t status, const Bytes& data, std::uint32_t delta = 0)
{
    return concat(
        {quantity(delta), {status}, quantity(static_cast<std::uint32_t>(data.size())), data});
}

const Bytes kEndOfTrack{0x00, 0xFF, 0x2F, 0x00};

Bytes midiFile(std::initializer_list<Bytes> tracks)
{
    Bytes file = midiHeader(1, static_cast<std::uint16_t>(tracks.size()));
    for (const Bytes& track : tracks) {
        file = concat({file, chunk("MTrk", concat({track, kEndOfTrack}))});
    }
    return file;
}

// The dump in events of at most size bytes: F0 len data, then F7 len data.
Bytes dumpInPackets(const Bytes& dump, std::size_t size)
{
    Bytes events;
    for (std::size_t at = 0; at < dump.size(); at += size) {
        const Bytes packet(dump.begin() + static_cast<std::ptrdiff_t>(at),
                           dump.begin() +
                               static_cast<std::ptrdiff_t>(std::min(at + size, dump.size())));
        events = concat({events, at == 0 ? sysExEvent(0xF0, Bytes(packet.begin() + 1, packet.end()))
                                         : sysExEvent(0xF7, packet, 10)});
    }
    return events;
}

std::string hexOf(const Bytes& bytes, std::string_view separator)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const std::uint8_t byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
        out += separator;
    }
    return out;
}

TEST(DumpScanner, FindsTheDumpInFilesOtherProgramsMade)
{
    using enum ScannedKind;
    const struct
    {
        const char* file;
        ScannedKind kind;
        std::size_t dumps; // each equal to the golden dump
        std::size_t otherSysEx, tracks, events, otherMessages;
        std::string told;
    } cases[] = {
        {"format0.mid", MidiFile, 1, 0, 1, 12, 8, "1 All-Data dump in a MIDI file"},
        {"format1-packets.mid", MidiFile, 1, 0, 2, 468, 6, "1 All-Data dump in a MIDI file"},
        {"format1-escapes.mid", MidiFile, 1, 0, 2, 296, 0, "1 All-Data dump in a MIDI file"},
        {"format2-two-dumps.mid", MidiFile, 2, 1, 2, 63, 0, "2 All-Data dumps in a MIDI file"},
        {"other-sysex.mid", MidiFile, 0, 3, 1, 6, 2,
         "a MIDI file with 3 SysEx messages, none of them an All-Data dump"},
        {"format1-packets.rmi", RiffMidiFile, 1, 0, 2, 468, 6,
         "1 All-Data dump in a RIFF MIDI file"},
        {"od-hex.txt", HexText, 1, 0, 0, 0, 0, "1 All-Data dump in hex text"},
        {"0x-commas.txt", HexText, 1, 0, 0, 0, 0, "1 All-Data dump in hex text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const DumpScan scan = scanForDumps(scanFile(c.file));
        EXPECT_EQ(c.kind, scan.kind);
        ASSERT_EQ(c.dumps, scan.dumps.size());
        for (const FoundDump& dump : scan.dumps) {
            EXPECT_EQ(golden(), dump.bytes);
        }
        EXPECT_TRUE(scan.cutDumps.empty());
        EXPECT_EQ(c.otherSysEx, scan.otherSysEx);
        EXPECT_EQ(c.told, describeScan(scan));
        EXPECT_EQ(c.tracks, scan.midiFileTracks);
        EXPECT_EQ(c.events, scan.midiFileEvents);
        EXPECT_EQ(c.otherMessages, scan.otherMessages);
        EXPECT_EQ("", scan.stopReason);
        EXPECT_EQ(0u, scan.strayBytes);
    }
    // Where the dumps are: the F0 of the event in the file, in order.
    const Bytes format0 = scanFile("format0.mid");
    const DumpScan scan = scanForDumps(format0);
    ASSERT_EQ(1u, scan.dumps.size());
    EXPECT_EQ(0xF0, format0[scan.dumps[0].offset]);
    EXPECT_EQ(Bytes(golden().begin() + 1, golden().begin() + 100),
              Bytes(format0.begin() + static_cast<std::ptrdiff_t>(scan.dumps[0].offset) + 4,
                    format0.begin() + static_cast<std::ptrdiff_t>(scan.dumps[0].offset) + 103));
    const DumpScan two = scanForDumps(scanFile("format2-two-dumps.mid"));
    ASSERT_EQ(2u, two.dumps.size());
    EXPECT_EQ(0u, two.dumps[0].index);
    EXPECT_EQ(1u, two.dumps[1].index);
    EXPECT_LT(two.dumps[0].offset, two.dumps[1].offset);
}

TEST(DumpScanner, ATruncatedMidiFileGivesTheDumpCutWhereTheFileEnds)
{
    const Bytes file = scanFile("format0-truncated.mid");
    const DumpScan scan = scanForDumps(file);
    EXPECT_EQ(ScannedKind::MidiFile, scan.kind);
    EXPECT_TRUE(scan.dumps.empty());
    ASSERT_EQ(1u, scan.cutDumps.size());
    const CutDump& cut = scan.cutDumps[0];
    EXPECT_EQ(CutReason::BytesEnded, cut.reason);
    // All the file has from the F0 on, but the 3 bytes of the event's length.
    EXPECT_EQ(prefix(golden(), file.size() - cut.offset - 3), cut.bytes);
    EXPECT_EQ("track 1 at byte 14 says 29263 bytes, but only 19978 are left in the file",
              scan.stopReason);
    EXPECT_EQ("a MIDI file with 1 All-Data dump cut short. Dump 1 is cut short: the bytes ended "
              "after 19930 of its 29198 bytes. The scan stopped early: track 1 at byte 14 says "
              "29263 bytes, but only 19978 are left in the file",
              describeScan(scan));
}

TEST(DumpScanner, TellsBareDumpsFromStreamsAndFromWhatIsNeither)
{
    Bytes tolerated = golden();
    tolerated.back() = 0x00; // as the bank has always taken it
    tolerated[100] = 0x93;
    Bytes wrongType = golden();
    wrongType[4] = 0x41;
    Bytes wrongStart = golden();
    wrongStart[0] = 0x00;
    const struct
    {
        const char* name;
        Bytes file;
        ScannedKind kind;
        std::string told;
    } cases[] = {
        {"empty", {}, ScannedKind::Unrecognised, "an empty file"},
        {"golden", golden(), ScannedKind::BareDump, "an All-Data dump"},
        {"tolerated defects", tolerated, ScannedKind::BareDump, "an All-Data dump"},
        {"wrong type byte", wrongType, ScannedKind::MidiStream,
         "a stream of 1 MIDI message, not an All-Data dump"},
        {"wrong first byte", wrongStart, ScannedKind::Unrecognised,
         "neither a MIDI file, MIDI messages nor hex text"},
        {"text", text("Dear user, this is no bank.\n"), ScannedKind::Unrecognised,
         "neither a MIDI file, MIDI messages nor hex text"},
        {"messages",
         {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x90, 0x3C, 0x40, 0x3C, 0x00},
         ScannedKind::MidiStream,
         "a stream of 3 MIDI messages, none of them an All-Data dump"},
        {"one byte short", prefix(golden(), 29197), ScannedKind::MidiStream,
         "a stream of MIDI messages with 1 All-Data dump cut short. Dump 1 is cut short: the "
         "bytes ended after 29197 of its 29198 bytes"},
    };
    for (const auto& c : cases) {
        const DumpScan scan = scanForDumps(c.file);
        EXPECT_EQ(c.kind, scan.kind) << c.name;
        EXPECT_EQ(c.told, describeScan(scan)) << c.name;
        EXPECT_EQ(c.file.size(), scan.size) << c.name;
    }
    const DumpScan bare = scanForDumps(tolerated);
    ASSERT_EQ(1u, bare.dumps.size());
    EXPECT_EQ(tolerated, bare.dumps[0].bytes);
}

TEST(DumpScanner, PicksDumpsOutOfMessageStreamsAsAReceiverWould)
{
    using enum CutReason;
    const Bytes& dump = golden();
    Bytes realtime; // a realtime byte before every byte of the dump but the first
    for (std::size_t i = 0; i < dump.size(); ++i) {
        if (i > 0) {
            realtime.push_back(static_cast<std::uint8_t>(0xF8 + i % 8));
        }
        realtime.push_back(dump[i]);
    }
    const auto cut = [&](std::size_t count) { return prefix(dump, count); };
    struct Cut
    {
        CutReason reason;
        std::size_t arrived, offset;
        std::uint8_t endedBy;
    };
    struct Counts
    {
        std::size_t otherSysEx, otherMessages, stray, realtimeInSysEx;
    };
    const struct
    {
        const char* name;
        Bytes stream;
        std::vector<std::size_t> dumpsAt; // offsets of the whole dumps
        std::vector<Cut> cuts;
        Counts counts;
    } cases[] = {
        {"back to back", concat({dump, dump}), {0, 29198}, {}, {}},
        {"and half another", concat({dump, cut(14599)}), {0}, {{BytesEnded, 14599, 29198, 0}}, {}},
        {"realtime between all", realtime, {0}, {}, {0, 0, 0, 29197}},
        {"cut by a note",
         concat({cut(20000), {0x90, 0x3C, 0x40}}),
         {},
         {{StatusByte, 20000, 0, 0x90}},
         {0, 1, 0, 0}},
        {"cut by the next dump", concat({cut(100), dump}), {100}, {{StatusByte, 100, 0, 0xF0}}, {}},
        {"F7 early", concat({cut(1000), {0xF7}}), {}, {{EarlyEnd, 1000, 0, 0xF7}}, {}},
        {"header then F7", concat({cut(5), {0xF7}}), {}, {{EarlyEnd, 5, 0, 0xF7}}, {}},
        {"too long", concat({cut(29197), {0x00, 0x01, 0xF7}}), {}, {{TooLong, 29197, 0, 0}}, {}},
        {"half a header", {0xF0, 0x42, 0x21, 0x20, 0x90, 0x3C, 0x40}, {}, {}, {1, 1, 0, 0}},
        {"another maker", {0xF0, 0x43, 0x21, 0x20, 0x40, 0xF7}, {}, {}, {1, 0, 0, 0}},
        {"stray first", concat({{0x01, 0x02, 0xF7}, dump}), {3}, {}, {0, 0, 3, 0}},
        {"running status",
         concat({{0x90, 0x3C, 0x40, 0x3C, 0x00}, dump, {0xC0, 0x05, 0x06}}),
         {5},
         {},
         {0, 4, 0, 0}},
        {"SysEx ends running status",
         concat({{0x90, 0x3C, 0x40}, dump, {0x3C, 0x00}}),
         {3},
         {},
         {0, 1, 2, 0}},
        {"realtime outside", concat({{0xF8, 0xFA}, dump, {0xFC}}), {2}, {}, {0, 3, 0, 0}},
        {"broken message", concat({{0x90, 0x3C}, dump, {0xB0, 0x07}}), {2}, {}, {0, 0, 4, 0}},
        {"system common",
         {0xF1, 0x10, 0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF6, 0x44},
         {},
         {},
         {0, 4, 1, 0}},
        {"undefined", {0xF4, 0xF5, 0xF7, 0xF9, 0xFD}, {}, {}, {0, 2, 3, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DumpScan scan = scanMidiStream(c.stream);
        ASSERT_EQ(c.dumpsAt.size(), scan.dumps.size());
        ASSERT_EQ(c.cuts.size(), scan.cutDumps.size());
        for (std::size_t i = 0; i < c.dumpsAt.size(); ++i) {
            EXPECT_EQ(dump, scan.dumps[i].bytes);
            EXPECT_EQ(c.dumpsAt[i], scan.dumps[i].offset);
        }
        for (std::size_t i = 0; i < c.cuts.size(); ++i) {
            EXPECT_EQ(c.cuts[i].reason, scan.cutDumps[i].reason);
            EXPECT_EQ(prefix(dump, c.cuts[i].arrived), scan.cutDumps[i].bytes);
            EXPECT_EQ(c.cuts[i].offset, scan.cutDumps[i].offset);
            EXPECT_EQ(c.cuts[i].endedBy, scan.cutDumps[i].endedBy);
        }
        EXPECT_EQ(c.counts.otherSysEx, scan.otherSysEx);
        EXPECT_EQ(c.counts.otherMessages, scan.otherMessages);
        EXPECT_EQ(c.counts.stray, scan.strayBytes);
        EXPECT_EQ(c.counts.realtimeInSysEx, scan.realtimeInSysEx);
        EXPECT_EQ("", scan.stopReason);
    }
    // Whole and cut dumps are numbered together, in the order they began.
    const DumpScan mixed = scanMidiStream(concat({cut(100), dump, cut(10)}));
    ASSERT_EQ(2u, mixed.cutDumps.size());
    ASSERT_EQ(1u, mixed.dumps.size());
    EXPECT_EQ(0u, mixed.cutDumps[0].index);
    EXPECT_EQ(1u, mixed.dumps[0].index);
    EXPECT_EQ(2u, mixed.cutDumps[1].index);
    EXPECT_EQ(29298u, mixed.cutDumps[1].offset);
}

TEST(DumpScanner, JoinsPacketsAndEscapesOfMidiFilesAsTheyGoOut)
{
    const Bytes& dump = golden();
    const Bytes half = prefix(dump, 14599);
    const Bytes rest(dump.begin() + 14599, dump.end());
    Bytes withRealtime = rest;
    withRealtime.insert(withRealtime.begin() + 10, 0xF8);
    const struct
    {
        const char* name;
        Bytes file;
        std::size_t dumps, cuts, otherSysEx;
    } cases[] = {
        {"one event", midiFile({sysExEvent(0xF0, Bytes(dump.begin() + 1, dump.end()))}), 1, 0, 0},
        {"64-byte packets", midiFile({dumpInPackets(dump, 64)}), 1, 0, 0},
        {"one-byte packets", midiFile({dumpInPackets(dump, 1)}), 1, 0, 0},
        {"meta and realtime between packets",
         midiFile({concat({sysExEvent(0xF0, Bytes(half.begin() + 1, half.end())),
                           {0x00, 0xFF, 0x01, 0x02, 'h', 'i'},
                           sysExEvent(0xF7, withRealtime)})}),
         1, 0, 0},
        {"wholly as one escape", midiFile({sysExEvent(0xF7, dump)}), 1, 0, 0},
        {"two in one escape", midiFile({sysExEvent(0xF7, concat({dump, dump}))}), 2, 0, 0},
        {"another message in the same event",
         midiFile({sysExEvent(0xF0, concat({{0x7E, 0x7F, 0x09, 0x01, 0xF7}, dump}))}), 1, 0, 1},
        {"a note between packets",
         midiFile({concat({sysExEvent(0xF0, Bytes(half.begin() + 1, half.end())),
                           {0x00, 0x90, 0x3C, 0x40},
                           sysExEvent(0xF7, rest)})}),
         0, 1, 0},
        {"packets in two tracks",
         midiFile({sysExEvent(0xF0, Bytes(half.begin() + 1, half.end())), sysExEvent(0xF7, rest)}),
         0, 1, 0},
        {"tracks and chunks skipped",
         concat({midiHeader(1, 2), chunk("XFIH", {1, 2, 3}),
                 chunk("MTrk", concat({kEndOfTrack, {0xF0, 0x00}})),
                 chunk("MTrk", concat({sysExEvent(0xF0, Bytes(dump.begin() + 1, dump.end())),
                                       kEndOfTrack}))}),
         1, 0, 0},
        {"running status across a meta event",
         midiFile({concat({{0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x00},
                           sysExEvent(0xF7, dump)})}),
         1, 0, 0},
        {"quantities with a leading 0x80", // 0 then 29198, as a writer may pad them
         midiFile({concat({{0x80, 0x00, 0xF7, 0x80, 0x81, 0xE4, 0x0E}, dump})}), 1, 0, 0},
        {"a longer header",
         concat({chunk("MThd", {0, 0, 0, 1, 0, 96, 0xEE, 0xEE}),
                 chunk("MTrk", sysExEvent(0xF7, dump))}),
         1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DumpScan scan = scanForDumps(c.file);
        EXPECT_EQ(ScannedKind::MidiFile, scan.kind);
        ASSERT_EQ(c.dumps, scan.dumps.size());
        for (const FoundDump& found : scan.dumps) {
            EXPECT_EQ(dump, found.bytes);
            EXPECT_EQ(0xF0, c.file[found.offset]);
        }
        ASSERT_EQ(c.cuts, scan.cutDumps.size());
        for (const CutDump& cut : scan.cutDumps) {
            EXPECT_EQ(half, cut.bytes);
        }
        EXPECT_EQ(c.otherSysEx, scan.otherSysEx);
        EXPECT_EQ("", scan.stopReason);
    }
}

TEST(DumpScanner, StopsAtALyingOrBrokenMidiFileWithWhatItFound)
{
    const Bytes& dump = golden();
    const Bytes whole = sysExEvent(0xF0, Bytes(dump.begin() + 1, dump.end()));
    const Bytes header = midiHeader();
    const struct
    {
        const char* name;
        Bytes file;
        std::size_t dumps, cuts;
        std::string stopReason;
    } cases[] = {
        {"track past the end", concat({header, chunk("MTrk", whole, 0x81020304)}), 1, 0,
         "track 1 at byte 14 says 2164392708 bytes, but only 29202 are left in the file"},
        {"packet length 2^28",
         concat({header,
                 chunk("MTrk", concat({whole, {0x00, 0xF7, 0x81, 0x80, 0x80, 0x80, 0x00, 0x01}}))}),
         1, 0, "track 1 has a variable-length quantity longer than 4 bytes at byte 29226"},
        {"packet length 2^28-1",
         concat({header, chunk("MTrk", concat({{0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F},
                                               Bytes(dump.begin() + 1, dump.begin() + 5000)}))}),
         0, 1,
         "a SysEx event at byte 23 says 268435455 bytes, but only 4999 are left in its track"},
        {"delta time too long", concat({header, chunk("MTrk", {0xFF, 0xFF, 0xFF, 0xFF, 0x00})}), 0,
         0, "track 1 has a variable-length quantity longer than 4 bytes at byte 22"},
        {"header past the end", chunk("MThd", {0, 0, 0, 1}, 100), 0, 0,
         "the MThd chunk at byte 0 says 100 bytes, but only 4 are left in the file"},
        {"header too short", concat({chunk("MThd", {0, 0}), chunk("MTrk", whole)}), 0, 0,
         "the MThd chunk has 2 bytes, too few for a format, a track count and a division"},
        {"no running status", concat({header, chunk("MTrk", {0x00, 0x3C, 0x40})}), 0, 0,
         "track 1 has a data byte 0x3C with no running status at byte 23"},
        {"status byte in a note", concat({header, chunk("MTrk", {0x00, 0x90, 0x3C, 0x80})}), 0, 0,
         "track 1 has a status byte 0x80 where a data byte belongs at byte 25"},
        {"system common as an event", concat({header, chunk("MTrk", {0x00, 0xF2, 0x01, 0x02})}), 0,
         0, "track 1 has a status byte 0xF2 that begins no event at byte 23"},
        {"meta past its track",
         concat({header, chunk("MTrk", {0x00, 0xFF, 0x01, 0x7F, 'a'}), whole}), 0, 0,
         "a meta event at byte 23 says 127 bytes, but only 1 are left in its track"},
        {"ends after a delta", concat({header, chunk("MTrk", {0x00})}), 0, 0,
         "track 1 ends after a delta time at byte 23"},
        {"ends inside a note", concat({header, chunk("MTrk", {0x00, 0x90, 0x3C})}), 0, 0,
         "track 1 ends inside an event at byte 23"},
        {"ends inside a length", concat({header, chunk("MTrk", {0x00, 0xF0, 0x81})}), 0, 0,
         "track 1 ends inside an event at byte 24"},
        {"chunk header cut", concat({header, chunk("MTrk", whole), text("MTr")}), 1, 0,
         "the file ends 3 bytes into a chunk header at byte 29224"},
        {"unknown chunk past the end",
         concat({header, chunk("MTrk", whole), chunk("ab\x01z", {}, 9)}), 1, 0,
         "'ab?z' at byte 29224 says 9 bytes, but only 0 are left in the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DumpScan scan = scanForDumps(c.file);
        EXPECT_EQ(ScannedKind::MidiFile, scan.kind);
        EXPECT_EQ(c.dumps, scan.dumps.size());
        EXPECT_EQ(c.cuts, scan.cutDumps.size());
        EXPECT_EQ(c.stopReason, scan.stopReason);
        EXPECT_NE(std::string::npos,
                  describeScan(scan).find(". The scan stopped early: " + c.stopReason));
    }
}

TEST(DumpScanner, NeverAllocatesFromALengthItReads)
{
    const Bytes lies[] = {
        concat({midiHeader(), chunk("MTrk", {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x42}),
                chunk("MTrk", {0x00, 0xF7, 0xFF, 0xFF, 0xFF, 0x7F, 0xF0, 0x42}, 0xFFFFFFFF)}),
        concat({text("RIFF"),
                {0xFF, 0xFF, 0xFF, 0xFF},
                text("RMID"),
                text("data"),
                {0xF0, 0xFF, 0xFF, 0xFF},
                midiHeader()}),
        concat({chunk("MThd", {0, 0, 0, 1}, 0xFFFFFFF0)}),
    };
    for (const Bytes& lie : lies) {
        test::startMeasuringAllocations();
        const DumpScan scan = scanForDumps(lie);
        // The one dump being collected at most, and text.
        EXPECT_LE(test::largestAllocationSinceStart(), kAllDataFileSize);
        EXPECT_NE("", scan.stopReason);
    }
}

TEST(DumpScanner, ReadsTheMidiFileInARiffFile)
{
    const Bytes midi = concat({midiHeader(), chunk("MTrk", sysExEvent(0xF7, golden()))});
    // RIFF's lengths are little-endian.
    const auto le32 = [](std::uint32_t n) {
        return Bytes{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                     static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
    };
    const auto riffChunk = [&](std::string_view id, const Bytes& body, std::uint32_t length) {
        return concat({text(id), le32(length), body});
    };
    // With its own length, or the one claimed.
    const auto riff = [&](const Bytes& chunks, std::uint32_t claimed = 0) {
        const Bytes body = concat({text("RMID"), chunks});
        return riffChunk("RIFF", body,
                         claimed > 0 ? claimed : static_cast<std::uint32_t>(body.size()));
    };
    const auto size = static_cast<std::uint32_t>(midi.size());
    const struct
    {
        const char* name;
        Bytes file;
        std::size_t dumps, cuts;
        std::string stopReason;
    } cases[] = {
        {"after an odd chunk",
         riff(concat({riffChunk("DISP", {1, 2, 3, 0}, 3), riffChunk("data", midi, size)})), 1, 0,
         ""},
        {"size of its own past the end", riff(riffChunk("data", midi, size), 0xFFFFFFFF), 1, 0, ""},
        {"data past the end", riff(riffChunk("data", prefix(midi, 20000), size)), 0, 1,
         "the RIFF 'data' chunk at byte 12 says 29225 bytes, but only 20000 are left in the file"},
        {"no data", riff(riffChunk("DISP", {1, 2}, 2)), 0, 0, "the RIFF file has no 'data' chunk"},
        {"a chunk past its own end",
         concat({riff(riffChunk("DISP", {1, 2}, 2)), riffChunk("data", midi, size)}), 0, 0,
         "the RIFF file has no 'data' chunk"},
        {"an odd chunk last, without its pad byte", riff(riffChunk("DISP", {1, 2, 3}, 3)), 0, 0,
         "the RIFF file has no 'data' chunk"},
        {"a chunk past the end", riff(riffChunk("LIST", {1, 2}, 0x01000032)), 0, 0,
         "the RIFF chunk 'LIST' at byte 12 says 16777266 bytes, but only 2 are left in the "
         "file"},
        {"no MIDI file in it", riff(riffChunk("data", text("MTrk0000"), 8)), 0, 0,
         "no MThd chunk at the start of the MIDI file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DumpScan scan = scanForDumps(c.file);
        EXPECT_EQ(ScannedKind::RiffMidiFile, scan.kind);
        EXPECT_EQ(c.dumps, scan.dumps.size());
        EXPECT_EQ(c.cuts, scan.cutDumps.size());
        EXPECT_EQ(c.stopReason, scan.stopReason);
    }
}

TEST(DumpScanner, ReadsHexTextStrictly)
{
    const Bytes& dump = golden();
    std::string lines; // 30 bytes a line, as xxd -p writes them
    for (std::size_t at = 0; at < dump.size(); at += 30) {
        const auto from = dump.begin() + static_cast<std::ptrdiff_t>(at);
        lines +=
            hexOf(Bytes(from, from + std::min<std::ptrdiff_t>(30, dump.end() - from)), "") + "\r\n";
    }
    std::string lower = hexOf(dump, "\t");
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    const struct
    {
        const char* name;
        std::string text;
        ScannedKind kind;
        std::size_t dumps;
        std::string stopReason;
    } cases[] = {
        {"spaces", hexOf(dump, " "), ScannedKind::HexText, 1, ""},
        {"lower case and tabs", lower, ScannedKind::HexText, 1, ""},
        {"pairs run together", lines, ScannedKind::HexText, 1, ""},
        {"0x and commas", "0xF0,0x7E,0X7F,0x09,0x01,0xF7", ScannedKind::HexText, 0, ""},
        {"byte order mark", "\xEF\xBB\xBF" + hexOf(dump, "\n"), ScannedKind::HexText, 1, ""},
        {"odd digit", "F0 42 2 20", ScannedKind::HexText, 0,
         "line 1, column 7: '2' has an odd number of hex digits"},
        {"odd digit after a dump", hexOf(dump, " ") + "\n\n  0xF", ScannedKind::HexText, 1,
         "line 3, column 3: '0xF' has an odd number of hex digits"},
        {"odd long token", "F0\n0123456789ABCDEF0123456789ABCDEF0", ScannedKind::HexText, 0,
         "line 2, column 1: '0123456789ABCDEF…' has an odd number of hex digits"},
        {"a word", "F0 42 21 20 40 cafe babe hello", ScannedKind::Unrecognised, 0, ""},
        {"0x alone", "F0 0x F7", ScannedKind::Unrecognised, 0, ""},
        {"x in a token", "F0 00x1 F7", ScannedKind::Unrecognised, 0, ""},
        {"semicolons", "F0;7E;F7", ScannedKind::Unrecognised, 0, ""},
        {"separators only", " ,\t\r\n", ScannedKind::Unrecognised, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DumpScan scan = scanForDumps(text(c.text));
        EXPECT_EQ(c.kind, scan.kind);
        ASSERT_EQ(c.dumps, scan.dumps.size());
        for (const FoundDump& found : scan.dumps) {
            EXPECT_EQ(dump, found.bytes);
        }
        EXPECT_EQ(c.stopReason, scan.stopReason);
    }
    const auto decoded = decodeHexText(text("0xF0, 7e\t7F0901 f7\n"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ((Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}), decoded->bytes);
    EXPECT_FALSE(decodeHexText(text("F0 G0")));
    EXPECT_EQ("hex text of 1 MIDI message, not an All-Data dump",
              describeScan(scanHexText(text("F0 7E F7"))));
    EXPECT_EQ("hex text with no MIDI message in it", describeScan(scanHexText(text("1234"))));
    EXPECT_EQ("not hex text", scanHexText(text("F0 7E F7 ?")).stopReason);
}

TEST(DumpScanner, DescribesWhatAFileHoldsForTheUser)
{
    const Bytes& dump = golden();
    const struct
    {
        Bytes file;
        std::string told;
    } cases[] = {
        {concat({dump, dump}), "2 All-Data dumps in a stream of MIDI messages"},
        {concat({dump, prefix(dump, 14599)}),
         "1 All-Data dump in a stream of MIDI messages. Dump 2 is cut short: the bytes ended "
         "after 14599 of its 29198 bytes"},
        {concat({prefix(dump, 9),
                 {0xB0, 0x07, 0x64},
                 prefix(dump, 12),
                 {0xF7},
                 dump,
                 prefix(dump, 6),
                 prefix(dump, 7)}),
         "1 All-Data dump in a stream of MIDI messages. Dump 1 is cut short: a status byte 0xB0 "
         "came after 9 of its 29198 bytes. Dump 2 is cut short: its F7 came after 12 bytes "
         "instead of 29197. Dump 4 is cut short: a status byte 0xF0 came after 6 of its 29198 "
         "bytes. 1 more is cut short"},
        {concat({prefix(dump, 29197), {0x00, 0xF7}}),
         "a stream of MIDI messages with 1 All-Data dump cut short. Dump 1 is cut short: it has "
         "no F7 at byte 29198, where a dump ends"},
        {midiFile({{0x00, 0x90, 0x3C, 0x40}, {0x00, 0xFF, 0x01, 0x00}}),
         "a MIDI file with 2 tracks of 4 events, no SysEx message among them"},
        {midiFile({{0x00, 0xF0, 0x03, 0x7E, 0x00, 0xF7}}),
         "a MIDI file with 1 SysEx message, not an All-Data dump"},
        {midiHeader(), "a MIDI file with no track"},
        {concat({midiHeader(), chunk("MTrk", sysExEvent(0xF7, prefix(dump, 902)))}),
         "a MIDI file with 1 All-Data dump cut short. Dump 1 is cut short: the bytes ended after "
         "902 of its 29198 bytes"},
        {text("F0 42 21 20 40 00 F7"),
         "hex text with 1 All-Data dump cut short. Dump 1 is cut short: its F7 came after 6 "
         "bytes instead of 29197"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.told, describeScan(scanForDumps(c.file)));
    }
}

} // namespace
} // namespace a3
