#pragma once

#include <string>

namespace vel {

// A failed POSIX call on a port, as handed to the port's delegate: the
// call's errno, the system's message for it and the port's path.
class PosixError {
public:
    static constexpr const char* domain = "NSPOSIXErrorDomain";

    PosixError(int code, std::string path);

    int code() const { return code_; }
    const std::string& message() const { return message_; }  // strerror(code)
    const std::string& path() const { return path_; }

    // Error Domain=NSPOSIXErrorDomain Code=<n> "<message>" UserInfo={NSFilePath=<path>}
    std::string description() const;

    friend bool operator==(const PosixError&, const PosixError&) = default;

private:
    int code_;
    std::string message_;
    std::string path_;
};

}  // namespace vel
