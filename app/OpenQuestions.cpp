#include "OpenQuestions.h"

namespace a3 {

OpenQuestions::Question::Question(std::weak_ptr<Count> count)
    : _count(std::move(count))
{}

OpenQuestions::Question::~Question()
{
    if (const auto count = _count.lock(); count && --count->open == 0) {
        count->allEnded();
    }
}

OpenQuestions::OpenQuestions(std::function<void()> allEnded)
    : _count(std::make_shared<Count>(Count{0, std::move(allEnded)}))
{}

std::shared_ptr<OpenQuestions::Question> OpenQuestions::ask()
{
    ++_count->open;
    return std::make_shared<Question>(_count);
}

} // namespace a3
