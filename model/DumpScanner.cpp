#include "DumpScanner.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace a3 {
namespace {

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kFirstRealtime = 0xF8;
constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kEndOfTrack = 0x2F;
// A dump from its F0 to its last checksum nibble: everything but the F7.
constexpr std::size_t kDumpBeforeEnd = kAllDataFileSize - 1;

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string plural(std::size_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// Where the first byte with its top bit set is in [bytes, bytes + count), or
// count. The body of a SysEx message has none, so it is searched as memchr
// searches for one byte: 64 bytes to a test, then a word at a time.
std::size_t firstStatusByte(const std::uint8_t* bytes, std::size_t count)
{
    constexpr std::uint64_t topBits = 0x8080808080808080;
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        std::uint8_t any = 0;
        for (std::size_t k = 0; k < 64; ++k) {
            any |= bytes[i + k];
        }
        if (any >= 0x80) {
            break;
        }
    }
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        word &= topBits;
        if (word != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return i + static_cast<std::size_t>(std::countr_zero(word)) / 8;
            } else {
                return i + static_cast<std::size_t>(std::countl_zero(word)) / 8;
            }
        }
    }
    while (i < count && bytes[i] < 0x80) {
        ++i;
    }
    return i;
}

// How many data bytes follow a status byte that has any: a channel message's,
// or F1 to F3.
std::size_t dataBytes(std::uint8_t status)
{
    if (status < 0xF0) {
        // Program change and channel pressure have one, the others two.
        return (status & 0xE0) == 0xC0 ? 1 : 2;
    }
    return status == 0xF2 ? 2 : 1; // song position; time code and song select
}

// MIDI bytes as a receiver takes them off the wire, in pieces of any size:
// realtime bytes inside a SysEx message are dropped, any other status byte
// ends it, and a message begun with the dump header is collected until its F7
// to become a dump, or a cut dump when something else ends it. Only the dump
// being collected is kept; other messages are counted.
class WireScanner
{
public:
    explicit WireScanner(DumpScan& scan)
        : _scan(scan)
    {}

    // Bytes as they go out, the first of them at offset in the file.
    void feed(const std::uint8_t* bytes, std::size_t count, std::size_t offset)
    {
        // Most of a long SysEx message that is no dump: nothing to do.
        if (_sysEx == SysEx::Other && firstStatusByte(bytes, count) == count) {
            return;
        }
        feedAny(bytes, count, offset);
    }

    // A channel message sent whole, as a MIDI file's event is.
    void message(std::uint8_t status)
    {
        if (_sysEx != SysEx::None) {
            breakSysEx(CutReason::StatusByte, status);
        }
        dropPartial();
        _status = status;
        ++_scan.otherMessages;
    }

    // No more bytes come: a message begun stays unfinished.
    void end()
    {
        if (_sysEx != SysEx::None) {
            breakSysEx(CutReason::BytesEnded, 0);
        }
        dropPartial();
        _status = 0;
    }

private:
    enum class SysEx
    {
        None,       // outside any
        Collecting, // a dump so far: its bytes are kept
        Other,      // not a dump: counted at its end
        Reported,   // too long for a dump, reported as cut already
    };

    void feedAny(const std::uint8_t* bytes, std::size_t count, std::size_t offset)
    {
        std::size_t i = 0;
        while (i < count) {
            if (_sysEx != SysEx::None) {
                const std::size_t run = firstStatusByte(bytes + i, count - i);
                if (_sysEx == SysEx::Collecting) {
                    collect(bytes + i, run);
                }
                i += run;
                if (i == count) {
                    return;
                }
                const std::uint8_t status = bytes[i];
                if (status >= kFirstRealtime) {
                    ++_scan.realtimeInSysEx;
                    ++i;
                    continue;
                }
                if (status == kEndOfExclusive) {
                    endSysEx();
                    ++i;
                    continue;
                }
                breakSysEx(CutReason::StatusByte, status);
            }
            outside(bytes[i], offset + i);
            ++i;
        }
    }

    // A byte outside SysEx messages.
    void outside(std::uint8_t byte, std::size_t offset)
    {
        if (byte < 0x80) {
            if (_status == 0) {
                ++_scan.strayBytes;
                return;
            }
            ++_partial;
            if (++_have < dataBytes(_status)) {
                return;
            }
            ++_scan.otherMessages;
            _have = 0;
            _partial = 0;
            if (_status >= 0xF0) {
                _status = 0; // system common messages leave no running status
            }
            return;
        }
        if (byte >= kFirstRealtime) {
            ++_scan.otherMessages; // between the bytes of any other message
            return;
        }
        dropPartial();
        _status = 0;
        if (byte < 0xF0) {
            _status = byte;
            _partial = 1;
            return;
        }
        switch (byte) {
        case kSysExStart:
            beginSysEx(offset);
            return;
        case 0xF1:
        case 0xF2:
        case 0xF3:
            _status = byte;
            _partial = 1;
            return;
        case 0xF6: // tune request
            ++_scan.otherMessages;
            return;
        default: // undefined, or F7 with no SysEx to end
            ++_scan.strayBytes;
            return;
        }
    }

    // A message broken off before its data bytes were all there.
    void dropPartial()
    {
        _scan.strayBytes += _partial;
        _partial = 0;
        _have = 0;
    }

    void beginSysEx(std::size_t offset)
    {
        if (_dump.capacity() == 0) {
            _dump.reserve(kDumpBeforeEnd); // once a scan: then only copies
        }
        _dump.assign(1, kSysExStart);
        _start = offset;
        _sysEx = SysEx::Collecting;
    }

    // Data bytes of a message that is a dump so far.
    void collect(const std::uint8_t* bytes, std::size_t count)
    {
        std::size_t i = 0;
        while (_dump.size() < kHeaderSize && i < count) {
            if (bytes[i] != kAllDataHeader[_dump.size()]) {
                _sysEx = SysEx::Other;
                return;
            }
            _dump.push_back(bytes[i++]);
            if (_dump.size() == kHeaderSize) {
                _index = _begun++;
            }
        }
        const std::size_t room = kDumpBeforeEnd - _dump.size();
        if (count - i > room) {
            _dump.insert(_dump.end(), bytes + i, bytes + i + room);
            cut(CutReason::TooLong, 0);
            _sysEx = SysEx::Reported;
            return;
        }
        _dump.insert(_dump.end(), bytes + i, bytes + count);
    }

    bool headerArrived() const { return _dump.size() >= kHeaderSize; }

    // F7 ends the message.
    void endSysEx()
    {
        if (_sysEx == SysEx::Collecting && _dump.size() == kDumpBeforeEnd) {
            FoundDump found{_index, _start, {}};
            found.bytes.reserve(kAllDataFileSize);
            found.bytes.assign(_dump.begin(), _dump.end());
            found.bytes.push_back(kEndOfExclusive);
            _scan.dumps.push_back(std::move(found));
        } else if (_sysEx == SysEx::Collecting && headerArrived()) {
            cut(CutReason::EarlyEnd, kEndOfExclusive);
        } else if (_sysEx != SysEx::Reported) {
            ++_scan.otherSysEx;
        }
        _sysEx = SysEx::None;
    }

    // Something other than F7 ends the message.
    void breakSysEx(CutReason reason, std::uint8_t endedBy)
    {
        if (_sysEx == SysEx::Collecting && headerArrived()) {
            cut(reason, endedBy);
        } else if (_sysEx != SysEx::Reported) {
            ++_scan.otherSysEx;
        }
        _sysEx = SysEx::None;
    }

    void cut(CutReason reason, std::uint8_t endedBy)
    {
        _scan.cutDumps.push_back(CutDump{_index, _start, _dump, reason, endedBy});
    }

    DumpScan& _scan;
    SysEx _sysEx = SysEx::None;
    std::vector<std::uint8_t> _dump; // the SysEx message so far, while it may be a dump
    std::size_t _start = 0;          // of its F0
    std::size_t _index = 0;
    std::size_t _begun = 0; // dumps begun so far
    // Outside SysEx: the status the data bytes belong to (0 for none), how
    // many of them have come, and the bytes of a message begun that would be
    // stray if it broke off now.
    std::uint8_t _status = 0;
    std::size_t _have = 0;
    std::size_t _partial = 0;
};

std::uint32_t bigEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

std::uint32_t littleEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[1]} << 8 | bytes[0];
}

bool startsWith(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view text)
{
    return bytes.size() >= at + text.size() &&
           std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

std::string chunkName(const std::uint8_t* id)
{
    std::string name = "'";
    for (int i = 0; i < 4; ++i) {
        name += id[i] >= 0x20 && id[i] < 0x7F ? static_cast<char>(id[i]) : '?';
    }
    return name + "'";
}

std::string lengthPastEnd(const std::string& what, std::size_t at, std::uint64_t length,
                          std::size_t left, std::string_view where)
{
    return what + " at byte " + std::to_string(at) + " says " + plural(length, "byte", "bytes") +
           ", but only " + std::to_string(left) + " are left in " + std::string(where);
}

// One MIDI file, its tracks played into one wire scanner each after the
// other: a SysEx event is its F0 and data, an F7 event its data alone (the
// rest of a message an earlier event began, or bytes sent as they are), a
// channel event its message; meta events are not sent. A track ends any
// message its events left open.
class MidiFileReader
{
public:
    MidiFileReader(std::span<const std::uint8_t> file, std::size_t base, DumpScan& scan)
        : _file(file)
        , _base(base)
        , _scan(scan)
        , _wire(scan)
    {}

    void read()
    {
        if (!startsWith(_file, 0, "MThd") || _file.size() < 8) {
            _scan.stopReason = "no MThd chunk at the start of the MIDI file";
            return;
        }
        const std::uint32_t headerLength = bigEndian32(_file.data() + 4);
        if (headerLength > _file.size() - 8) {
            _scan.stopReason =
                lengthPastEnd("the MThd chunk", _base, headerLength, _file.size() - 8, "the file");
            return;
        }
        if (headerLength < 6) {
            _scan.stopReason = "the MThd chunk has " + plural(headerLength, "byte", "bytes") +
                               ", too few for a format, a track count and a division";
            return;
        }
        std::size_t at = 8 + std::size_t{headerLength};
        while (at < _file.size()) {
            const std::size_t left = _file.size() - at;
            if (left < 8) {
                _scan.stopReason = "the file ends " + plural(left, "byte", "bytes") +
                                   " into a chunk header at byte " + std::to_string(_base + at);
                return;
            }
            const std::uint8_t* id = _file.data() + at;
            const std::uint32_t length = bigEndian32(id + 4);
            const std::size_t body = at + 8;
            const std::size_t inFile = std::min<std::size_t>(length, left - 8);
            const bool track = std::memcmp(id, "MTrk", 4) == 0;
            if (track) {
                ++_scan.midiFileTracks;
                readTrack(_file.subspan(body, inFile), body);
                _wire.end();
            }
            if (length > inFile) {
                // Said after the track's own reason, if any: the chunk's
                // length is the cause of both.
                _scan.stopReason = lengthPastEnd(
                    track ? "track " + std::to_string(_scan.midiFileTracks) : chunkName(id),
                    _base + at, length, inFile, "the file");
                return;
            }
            if (!_scan.stopReason.empty()) {
                return;
            }
            at = body + length;
        }
    }

private:
    enum class Quantity
    {
        Read,
        Ends,
        TooLong,
    };

    // A variable-length quantity: at most four bytes, seven bits each.
    static Quantity readQuantity(std::span<const std::uint8_t> track, std::size_t& at,
                                 std::uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (at == track.size()) {
                return Quantity::Ends;
            }
            const std::uint8_t byte = track[at++];
            value = value << 7 | (byte & 0x7Fu);
            if (byte < 0x80) {
                return Quantity::Read;
            }
        }
        return Quantity::TooLong;
    }

    // Most quantities in a file are one byte: that case goes first.
    bool quantity(std::span<const std::uint8_t> track, std::size_t& at, std::uint32_t& value,
                  std::size_t base)
    {
        if (at < track.size() && track[at] < 0x80) {
            value = track[at++];
            return true;
        }
        return longQuantity(track, at, value, base);
    }

    bool longQuantity(std::span<const std::uint8_t> track, std::size_t& at, std::uint32_t& value,
                      std::size_t base)
    {
        const std::size_t start = at;
        switch (readQuantity(track, at, value)) {
        case Quantity::Read:
            return true;
        case Quantity::Ends:
            stop("ends inside an event at byte " + std::to_string(_base + base + start));
            return false;
        case Quantity::TooLong:
            stop("has a variable-length quantity longer than 4 bytes at byte " +
                 std::to_string(_base + base + start));
            return false;
        }
        return false;
    }

    void stop(const std::string& why)
    {
        _scan.stopReason = "track " + std::to_string(_scan.midiFileTracks) + " " + why;
    }

    // The events of one track chunk (or of as much of it as the file has),
    // which starts at byte base of the MIDI file.
    void readTrack(std::span<const std::uint8_t> track, std::size_t base)
    {
        std::uint8_t running = 0;
        std::size_t at = 0;
        std::uint32_t value = 0;
        while (at < track.size()) {
            if (!quantity(track, at, value, base)) { // the delta time
                return;
            }
            if (at == track.size()) {
                stop("ends after a delta time at byte " + std::to_string(_base + base + at));
                return;
            }
            const std::size_t event = at;
            std::uint8_t status = track[at];
            ++_scan.midiFileEvents;
            if (status < 0x80) {
                if (running == 0) {
                    stop("has a data byte " + hexByte(status) + " with no running status at byte " +
                         std::to_string(_base + base + event));
                    return;
                }
                status = running;
            } else {
                ++at;
            }
            if (status < 0xF0) {
                running = status;
                const std::size_t data = dataBytes(status);
                if (track.size() - at < data) {
                    stop("ends inside an event at byte " + std::to_string(_base + base + event));
                    return;
                }
                for (std::size_t i = 0; i < data; ++i) {
                    if (track[at + i] >= 0x80) {
                        stop("has a status byte " + hexByte(track[at + i]) +
                             " where a data byte belongs at byte " +
                             std::to_string(_base + base + at + i));
                        return;
                    }
                }
                at += data;
                _wire.message(status);
                continue;
            }
            // SysEx and meta events cancel running status, so a file that
            // keeps to that never has a data byte next; one that does not
            // is read as its writer meant it, with the status before.
            if (status == kMetaEvent) {
                if (at == track.size()) {
                    stop("ends inside an event at byte " + std::to_string(_base + base + event));
                    return;
                }
                const std::uint8_t type = track[at++];
                if (!quantity(track, at, value, base)) {
                    return;
                }
                if (value > track.size() - at) {
                    _scan.stopReason = lengthPastEnd("a meta event", _base + base + event, value,
                                                     track.size() - at, "its track");
                    return;
                }
                at += value;
                if (type == kEndOfTrack) {
                    return;
                }
                continue;
            }
            if (status != kSysExStart && status != kEndOfExclusive) {
                stop("has a status byte " + hexByte(status) + " that begins no event at byte " +
                     std::to_string(_base + base + event));
                return;
            }
            if (!quantity(track, at, value, base)) {
                return;
            }
            if (status == kSysExStart) {
                _wire.feed(track.data() + event, 1, _base + base + event);
            }
            // What the file has of the data is sent even when the event says
            // more: a dump cut there still gives its patches back.
            const std::size_t left = track.size() - at;
            _wire.feed(track.data() + at, std::min<std::size_t>(value, left), _base + base + at);
            if (value > left) {
                _scan.stopReason =
                    lengthPastEnd(status == kSysExStart ? "a SysEx event" : "an F7 event",
                                  _base + base + event, value, left, "its track");
                return;
            }
            at += value;
        }
    }

    std::span<const std::uint8_t> _file;
    std::size_t _base; // where the MIDI file starts in the file scanned
    DumpScan& _scan;
    WireScanner _wire;
};

// A RIFF RMID file: a MIDI file in its "data" chunk, other chunks skipped.
void readRiffMidiFile(std::span<const std::uint8_t> file, DumpScan& scan)
{
    // The RIFF header's own length is only a bound: the file's end is another.
    const std::size_t end = std::clamp<std::uint64_t>(
        std::uint64_t{littleEndian32(file.data() + 4)} + 8, 12, file.size());
    std::size_t at = 12;
    while (at + 8 <= end) {
        const std::uint8_t* id = file.data() + at;
        const std::uint32_t length = littleEndian32(id + 4);
        const std::size_t body = at + 8;
        const std::size_t inFile = std::min<std::size_t>(length, end - body);
        if (std::memcmp(id, "data", 4) == 0) {
            MidiFileReader(file.subspan(body, inFile), body, scan).read();
            if (length > inFile) {
                scan.stopReason =
                    lengthPastEnd("the RIFF 'data' chunk", at, length, inFile, "the file");
            }
            return;
        }
        if (length > inFile) {
            scan.stopReason =
                lengthPastEnd("the RIFF chunk " + chunkName(id), at, length, inFile, "the file");
            return;
        }
        at = body + length + (length & 1); // chunks start at even offsets
    }
    scan.stopReason = "the RIFF file has no 'data' chunk";
}

bool isHexDigit(std::uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned hexValue(std::uint8_t c)
{
    return c <= '9' ? c - '0' : (c | 0x20u) - 'a' + 10;
}

bool isHexSeparator(std::uint8_t c)
{
    return c == ' ' || c == ',' || c == '\t' || c == '\n' || c == '\r';
}

// The byte order mark some text editors write first: not one of the tokens.
std::size_t byteOrderMark(std::span<const std::uint8_t> text)
{
    return startsWith(text, 0, "\xEF\xBB\xBF") ? 3 : 0;
}

// The token from at: where its digits start and end (after a 0x). False for
// one that has no digits or a character hex text does not have.
bool hexToken(std::span<const std::uint8_t> text, std::size_t at, std::size_t& digits,
              std::size_t& end)
{
    if (text[at] == '0' && at + 1 < text.size() && (text[at + 1] | 0x20) == 'x') {
        at += 2;
    }
    digits = at;
    while (at < text.size() && isHexDigit(text[at])) {
        ++at;
    }
    end = at;
    return end > digits && (end == text.size() || isHexSeparator(text[end]));
}

DumpScan scanStream(std::span<const std::uint8_t> bytes)
{
    DumpScan scan;
    scan.size = bytes.size();
    WireScanner wire(scan);
    wire.feed(bytes.data(), bytes.size(), 0);
    wire.end();
    // Bytes that are all MIDI messages, or that hold a dump, are taken for a
    // stream of them; other bytes only happen to have some.
    const bool messages = scan.otherSysEx + scan.otherMessages > 0 && scan.strayBytes == 0;
    if (messages || !scan.dumps.empty() || !scan.cutDumps.empty()) {
        scan.kind = ScannedKind::MidiStream;
    }
    return scan;
}

std::string container(ScannedKind kind)
{
    switch (kind) {
    case ScannedKind::BareDump:
        return "a file of its own";
    case ScannedKind::MidiStream:
        return "a stream of MIDI messages";
    case ScannedKind::MidiFile:
        return "a MIDI file";
    case ScannedKind::RiffMidiFile:
        return "a RIFF MIDI file";
    case ScannedKind::HexText:
        return "hex text";
    case ScannedKind::Unrecognised:
        break;
    }
    return "a file";
}

// What the file holds when it holds no whole dump.
std::string withoutDumps(const DumpScan& scan)
{
    if (scan.kind == ScannedKind::Unrecognised) {
        return scan.size == 0 ? "an empty file" : "neither a MIDI file, MIDI messages nor hex text";
    }
    if (!scan.cutDumps.empty()) {
        return container(scan.kind) + " with " +
               plural(scan.cutDumps.size(), "All-Data dump", "All-Data dumps") + " cut short";
    }
    const std::size_t messages = scan.otherSysEx + scan.otherMessages;
    const std::string noneOfThem =
        messages == 1 ? ", not an All-Data dump" : ", none of them an All-Data dump";
    switch (scan.kind) {
    case ScannedKind::MidiFile:
    case ScannedKind::RiffMidiFile:
        if (scan.otherSysEx > 0) {
            return container(scan.kind) + " with " +
                   plural(scan.otherSysEx, "SysEx message", "SysEx messages") +
                   (scan.otherSysEx == 1 ? ", not an All-Data dump"
                                         : ", none of them an All-Data dump");
        }
        if (scan.midiFileTracks == 0) {
            return container(scan.kind) + " with no track";
        }
        return container(scan.kind) + " with " + plural(scan.midiFileTracks, "track", "tracks") +
               " of " + plural(scan.midiFileEvents, "event", "events") +
               ", no SysEx message among them";
    case ScannedKind::HexText:
        if (messages == 0) {
            return "hex text with no MIDI message in it";
        }
        return "hex text of " + plural(messages, "MIDI message", "MIDI messages") + noneOfThem;
    default:
        return "a stream of " + plural(messages, "MIDI message", "MIDI messages") + noneOfThem;
    }
}

} // namespace

DumpScan scanMidiStream(std::span<const std::uint8_t> bytes)
{
    return scanStream(bytes);
}

DumpScan scanMidiFile(std::span<const std::uint8_t> bytes)
{
    DumpScan scan;
    scan.size = bytes.size();
    if (!startsWith(bytes, 0, "MThd")) {
        scan.stopReason = "no MThd chunk at the start of the MIDI file";
        return scan;
    }
    scan.kind = ScannedKind::MidiFile;
    MidiFileReader(bytes, 0, scan).read();
    return scan;
}

bool isHexText(std::span<const std::uint8_t> text)
{
    std::size_t at = byteOrderMark(text);
    bool tokens = false;
    while (at < text.size()) {
        if (isHexSeparator(text[at])) {
            ++at;
            continue;
        }
        std::size_t digits = 0;
        if (!hexToken(text, at, digits, at)) {
            return false;
        }
        tokens = true;
    }
    return tokens;
}

std::optional<HexBytes> decodeHexText(std::span<const std::uint8_t> text)
{
    if (!isHexText(text)) {
        return std::nullopt;
    }
    HexBytes hex;
    hex.bytes.reserve(text.size() / 2);
    std::size_t at = byteOrderMark(text);
    std::size_t line = 1;
    std::size_t lineStart = 0;
    while (at < text.size()) {
        if (isHexSeparator(text[at])) {
            if (text[at] == '\n') {
                ++line;
                lineStart = at + 1;
            }
            ++at;
            continue;
        }
        const std::size_t token = at;
        std::size_t digits = 0;
        hexToken(text, at, digits, at);
        if ((at - digits) % 2 != 0) {
            const std::size_t shown = std::min<std::size_t>(at - token, 16);
            hex.stopReason =
                "line " + std::to_string(line) + ", column " +
                std::to_string(token - lineStart + 1) + ": '" +
                std::string(reinterpret_cast<const char*>(text.data() + token), shown) +
                (shown < at - token ? "…" : "") + "' has an odd number of hex digits";
            break;
        }
        for (std::size_t i = digits; i < at; i += 2) {
            hex.bytes.push_back(
                static_cast<std::uint8_t>(hexValue(text[i]) << 4 | hexValue(text[i + 1])));
        }
    }
    return hex;
}

DumpScan scanHexText(std::span<const std::uint8_t> text)
{
    const auto hex = decodeHexText(text);
    if (!hex) {
        DumpScan scan;
        scan.size = text.size();
        scan.stopReason = "not hex text";
        return scan;
    }
    DumpScan scan = scanStream(hex->bytes);
    scan.kind = ScannedKind::HexText;
    scan.stopReason = hex->stopReason;
    return scan;
}

DumpScan scanForDumps(std::span<const std::uint8_t> file)
{
    if (file.size() == kAllDataFileSize &&
        std::equal(kAllDataHeader.begin(), kAllDataHeader.end(), file.begin())) {
        DumpScan scan;
        scan.kind = ScannedKind::BareDump;
        scan.size = file.size();
        scan.dumps.push_back({0, 0, {file.begin(), file.end()}});
        return scan;
    }
    if (startsWith(file, 0, "MThd")) {
        return scanMidiFile(file);
    }
    if (startsWith(file, 0, "RIFF") && startsWith(file, 8, "RMID")) {
        DumpScan scan;
        scan.kind = ScannedKind::RiffMidiFile;
        scan.size = file.size();
        readRiffMidiFile(file, scan);
        return scan;
    }
    if (isHexText(file)) {
        return scanHexText(file);
    }
    return scanStream(file);
}

std::string describeCut(const CutDump& cut)
{
    const std::string arrived = std::to_string(cut.bytes.size());
    switch (cut.reason) {
    case CutReason::BytesEnded:
        return "the bytes ended after " + arrived + " of its " + std::to_string(kAllDataFileSize) +
               " bytes";
    case CutReason::StatusByte:
        return "a status byte " + hexByte(cut.endedBy) + " came after " + arrived + " of its " +
               std::to_string(kAllDataFileSize) + " bytes";
    case CutReason::EarlyEnd:
        return "its F7 came after " + arrived + " bytes instead of " +
               std::to_string(kDumpBeforeEnd);
    case CutReason::TooLong:
        return "it has no F7 at byte " + std::to_string(kAllDataFileSize) + ", where a dump ends";
    }
    return {};
}

std::string describeScan(const DumpScan& scan)
{
    std::string text;
    if (scan.kind == ScannedKind::BareDump) {
        text = "an All-Data dump";
    } else if (!scan.dumps.empty()) {
        text = plural(scan.dumps.size(), "All-Data dump", "All-Data dumps") + " in " +
               container(scan.kind);
    } else {
        text = withoutDumps(scan);
    }
    // A few are enough to tell what happened to the file.
    constexpr std::size_t kCutsTold = 3;
    for (std::size_t i = 0; i < std::min(scan.cutDumps.size(), kCutsTold); ++i) {
        const CutDump& cut = scan.cutDumps[i];
        text += ". Dump " + std::to_string(cut.index + 1) + " is cut short: " + describeCut(cut);
    }
    if (scan.cutDumps.size() > kCutsTold) {
        text +=
            ". " + plural(scan.cutDumps.size() - kCutsTold, "more is", "more are") + " cut short";
    }
    if (!scan.stopReason.empty()) {
        text += ". The scan stopped early: " + scan.stopReason;
    }
    return text;
}

} // namespace a3
