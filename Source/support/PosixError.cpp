#include "support/PosixError.h"

#include <cstring>

namespace vel {

PosixError::PosixError(int code, std::string path)
    : code_(code), path_(std::move(path))
{
    char buffer[256];
    // GNU strerror_r returns the message, which may or may not be `buffer`.
    message_ = ::strerror_r(code, buffer, sizeof buffer);
}

std::string PosixError::description() const
{
    return std::string("Error Domain=") + domain + " Code=" + std::to_string(code_) + " \"" + message_ +
           "\" UserInfo={NSFilePath=" + path_ + "}";
}

}  // namespace vel
