#include "host/Error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string vformat(const char* fmt, va_list ap) {
    if (!fmt) return std::string();
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    int needed = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (needed < 0) return std::string();
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, ap);
    return std::string(big.data(), needed);
}

// An error builder always yields an error: a zero code (errno not set by the failed call)
// becomes -1 so the value cannot be mistaken for success.
long nonZero(long code) {
    return code != 0 ? code : -1;
}

}  // namespace

CTeError FXErrorUtil::ErrorWin32(const char* location, long code, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    return CTeError(nonZero(code), std::move(text), location);
}

CTeError FXErrorUtil::ErrorErrNo(const char* location, int err, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    char reason[256];
    // GNU strerror_r returns the text, which may or may not live in our buffer.
    const char* message = strerror_r(err, reason, sizeof reason);
    text += ": ";
    text += message ? message : "unknown error";
    return CTeError(nonZero(err), std::move(text), location);
}
