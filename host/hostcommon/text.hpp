// Console text as every host, and the tests' stand-in for Max, makes it
// from a printf-style call.  Needs nothing of the Max API.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace hostcommon {

// The text of a printf-style call; the format itself when it cannot be
// formatted, empty for no format.
inline std::string vformat(const char *fmt, va_list ap) {
    if (!fmt) return {};
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0) return fmt;
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), fmt, ap);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

}  // namespace hostcommon
