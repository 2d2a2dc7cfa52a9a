#include "support/Diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <syslog.h>
#include <vector>

namespace vel {

void log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> line(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
    std::vsnprintf(line.data(), line.size(), format, args);
    va_end(args);

    static std::once_flag opened;
    std::call_once(opened, [] { openlog("halodial", LOG_PID, LOG_USER); });
    syslog(LOG_NOTICE, "%s", line.data());
    std::fprintf(stderr, "%s\n", line.data());
}

void raise(const std::string& message)
{
    throw std::logic_error(message);
}

}  // namespace vel
