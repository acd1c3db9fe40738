// Text helpers: the system's texts are 8-bit strings (std::string), formatted printf-style.
#pragma once

#include <cstdarg>
#include <string>

namespace tessary {

// printf-style formatting into a new string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);

// Lower-case copy in the C locale (ASCII only: the system's texts are 8-bit).
std::string ToLowerAscii(std::string s);

}  // namespace tessary
