#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace a3 {

// Why something did not work, in words for the user: the system's own
// ("Permission denied") or the program's ("wrong length: 10 bytes, expected
// 29198").
struct Failure
{
    std::string reason;
};

// What a call that can fail gives back: its value, or why there is none. The
// one way every layer from files/ up reports a failure; E carries more than a
// reason where a caller must tell failures apart. Unused results are a
// compiler warning (an error in our builds), so no failure goes unseen; and
// there is no conversion to bool, so that no test of an older "problem, if
// any" result reads as its opposite.
template <typename T, typename E = Failure>
class [[nodiscard]] Result
{
public:
    Result(T value)
        : _state(std::in_place_index<0>, std::move(value))
    {}
    Result(E failure)
        : _state(std::in_place_index<1>, std::move(failure))
    {}

    bool ok() const { return _state.index() == 0; }

    T& value() &
    {
        assert(ok());
        return std::get<0>(_state);
    }
    const T& value() const&
    {
        assert(ok());
        return std::get<0>(_state);
    }
    T&& value() &&
    {
        assert(ok());
        return std::get<0>(std::move(_state));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& failure() const
    {
        assert(!ok());
        return std::get<1>(_state);
    }

private:
    std::variant<T, E> _state;
};

// A call that gives nothing back when it works.
template <typename E>
class [[nodiscard]] Result<void, E>
{
public:
    Result() = default;
    Result(E failure)
        : _failure(std::move(failure))
        , _failed(true)
    {}

    bool ok() const { return !_failed; }

    const E& failure() const
    {
        assert(!ok());
        return _failure;
    }

private:
    E _failure{};
    bool _failed = false;
};

using Outcome = Result<void>;

} // namespace a3
