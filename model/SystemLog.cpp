#include "SystemLog.h"

#include <cstdio>

namespace a3 {
namespace {

void logToStandardError(std::string_view message)
{
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
}

LogHandler currentHandler = nullptr;

} // namespace

LogHandler installLogHandler(LogHandler handler)
{
    LogHandler previous = currentHandler;
    currentHandler = handler;
    return previous;
}

void systemLog(std::string_view message)
{
    (currentHandler ? currentHandler : logToStandardError)(message);
}

} // namespace a3
