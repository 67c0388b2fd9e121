// The host's error value: a code, a text and the code location that raised it.
#pragma once

#include <string>

class CTeError {
  public:
    CTeError() = default;
    CTeError(long code, std::string text, const char* location = "")
        : code_(code), text_(std::move(text)), location_(location ? location : "") {}

    bool IsError() const { return code_ != 0; }
    long GetErrorCode() const { return code_; }
    std::string AsString() const { return text_; }
    const std::string& Location() const { return location_; }

    static CTeError Success() { return CTeError(); }

  private:
    long code_ = 0;
    std::string text_;
    std::string location_;
};

// Builders of error values; the format makes the text.
struct FXErrorUtil {
    static CTeError ErrorWin32(const char* location, long code, const char* fmt, ...)
        __attribute__((format(printf, 3, 4)));
    // The text gets ": <strerror(err)>" appended.
    static CTeError ErrorErrNo(const char* location, int err, const char* fmt, ...)
        __attribute__((format(printf, 3, 4)));
};

#define SL_CODE_LOCATION __FILE__ ":" SL_STRINGIFY(__LINE__)
#define SL_STRINGIFY(x) SL_STRINGIFY2(x)
#define SL_STRINGIFY2(x) #x
