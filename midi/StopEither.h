#pragma once

#include <stop_token>

namespace a3::midi {

// A stop token that is requested as soon as either of two others is.
class StopEither
{
public:
    StopEither(std::stop_token first, std::stop_token second)
        : _onFirst(std::move(first), Request{_source})
        , _onSecond(std::move(second), Request{_source})
    {}

    std::stop_token token() const { return _source.get_token(); }

private:
    struct Request
    {
        std::stop_source& source;
        void operator()() const { source.request_stop(); }
    };

    std::stop_source _source; // first: the callbacks refer to it
    std::stop_callback<Request> _onFirst;
    std::stop_callback<Request> _onSecond;
};

} // namespace a3::midi
