#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace a3::midi {

struct SysExMessage
{
    std::vector<std::uint8_t> bytes; // F0 to F7, or its first storeLimit bytes
    std::size_t length = 0;          // of the whole message
};

// Picks the complete System Exclusive messages out of a MIDI byte stream that
// arrives in pieces of any size. Realtime bytes (F8 to FF) inside a message
// are dropped, a new F0 before F7 starts over, and any other status byte ends
// a message unfinished, as it does on the wire.
class SysExAssembler
{
public:
    // Messages longer than storeLimit are measured, not kept whole.
    explicit SysExAssembler(std::size_t storeLimit);

    // The messages that these bytes complete, in order.
    std::vector<SysExMessage> add(std::span<const std::uint8_t> bytes);
    // How far the message that has begun has come; 0 when none has.
    std::size_t bytesInMessage() const { return _inMessage ? _message.length : 0; }
    // The bytes kept of the message that has begun; none when none has.
    std::span<const std::uint8_t> messageSoFar() const
    {
        return _inMessage ? std::span<const std::uint8_t>(_message.bytes)
                          : std::span<const std::uint8_t>();
    }

private:
    void append(std::uint8_t byte);

    std::size_t _storeLimit;
    bool _inMessage = false;
    SysExMessage _message;
};

} // namespace a3::midi
