#pragma once

#include <array>
#include <streambuf>

namespace a3::cli {

// Standard output of a3bank's programs, checked at their end as every Unix
// tool checks it: output that could not be written (a full disk, /dev/full)
// fails the program. While it lives, std::cout writes through a buffer of its
// own, which keeps the reason of the first write that failed: stdio forgets
// it, and std::cout writes nothing more once a write has failed.
class StandardOutput
{
public:
    StandardOutput();
    ~StandardOutput();
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    // Writes what is buffered and closes standard output. When any output
    // was not written, says why on standard error and returns failureStatus;
    // otherwise returns status.
    int close(int status, int failureStatus);

private:
    class Buffer : public std::streambuf
    {
    public:
        Buffer();
        int error() const { return _error; }

    protected:
        int_type overflow(int_type character) override;
        int sync() override;

    private:
        bool writeOut();

        std::array<char, 8192> _bytes{};
        int _error = 0;
    };

    Buffer _buffer;
    std::streambuf* _previous;
};

} // namespace a3::cli
