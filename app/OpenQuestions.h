#pragma once

#include <functional>
#include <memory>

namespace a3 {

// The questions a window has open. Each is open from its asking until the
// last handle on it goes, however that comes about: its answer handled, or
// its dialog or transfer gone without one. Handles may outlive the count (a
// dialog deleted with its window): they then change nothing.
class OpenQuestions
{
    struct Count
    {
        int open = 0;
        std::function<void()> allEnded;
    };

public:
    class Question
    {
    public:
        explicit Question(std::weak_ptr<Count> count);
        ~Question();
        Question(const Question&) = delete;
        Question& operator=(const Question&) = delete;

        // Whether the count, and so the window it belongs to, still exists.
        bool isCounted() const { return !_count.expired(); }

    private:
        std::weak_ptr<Count> _count;
    };

    // allEnded runs each time the last open question ends.
    explicit OpenQuestions(std::function<void()> allEnded);

    std::shared_ptr<Question> ask();
    bool any() const { return _count->open > 0; }

private:
    std::shared_ptr<Count> _count;
};

} // namespace a3
