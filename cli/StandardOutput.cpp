#include "StandardOutput.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

namespace a3::cli {

StandardOutput::Buffer::Buffer()
{
    setp(_bytes.data(), _bytes.data() + _bytes.size());
}

StandardOutput::Buffer::int_type StandardOutput::Buffer::overflow(int_type character)
{
    if (!writeOut()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(character);
        pbump(1);
    }
    return traits_type::not_eof(character);
}

int StandardOutput::Buffer::sync()
{
    return writeOut() ? 0 : -1;
}

bool StandardOutput::Buffer::writeOut()
{
    for (const char* next = pbase(); next < pptr();) {
        const ssize_t count = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(pptr() - next));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            if (_error == 0) {
                _error = count < 0 ? errno : EIO;
            }
            setp(_bytes.data(), _bytes.data() + _bytes.size());
            return false;
        }
        next += count;
    }
    setp(_bytes.data(), _bytes.data() + _bytes.size());
    return true;
}

StandardOutput::StandardOutput()
    : _previous(std::cout.rdbuf(&_buffer))
{}

StandardOutput::~StandardOutput()
{
    std::cout.rdbuf(_previous);
}

int StandardOutput::close(int status, int failureStatus)
{
    std::cout.flush();
    int reason = _buffer.error();
    // A file system may report a failed write only when the file is closed.
    if (::close(STDOUT_FILENO) != 0 && reason == 0 && errno != EBADF) {
        reason = errno;
    }
    if (reason == 0) {
        return status;
    }
    std::cerr << "a3bank: write error: " << std::strerror(reason) << '\n';
    return failureStatus;
}

} // namespace a3::cli
