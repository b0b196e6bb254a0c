#include "SysExAssembler.h"

namespace a3::midi {
namespace {

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kSysExEnd = 0xF7;
constexpr std::uint8_t kFirstRealtime = 0xF8;

} // namespace

SysExAssembler::SysExAssembler(std::size_t storeLimit)
    : _storeLimit(storeLimit)
{}

std::vector<SysExMessage> SysExAssembler::add(std::span<const std::uint8_t> bytes)
{
    std::vector<SysExMessage> complete;
    for (const std::uint8_t byte : bytes) {
        if (byte >= kFirstRealtime) {
            continue;
        }
        if (byte == kSysExStart) {
            _message = {};
            _inMessage = true;
            append(byte);
        } else if (!_inMessage) {
            continue;
        } else if (byte == kSysExEnd) {
            append(byte);
            complete.push_back(std::move(_message)); // the next F0 starts a new one
            _inMessage = false;
        } else if (byte & 0x80) {
            _inMessage = false;
        } else {
            append(byte);
        }
    }
    return complete;
}

void SysExAssembler::append(std::uint8_t byte)
{
    if (_message.bytes.size() < _storeLimit) {
        _message.bytes.push_back(byte);
    }
    ++_message.length;
}

} // namespace a3::midi
