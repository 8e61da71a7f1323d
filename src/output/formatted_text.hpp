#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

// What printf would print for `format` and `values`, cut at 255 characters.
inline std::string formatted(const char* format, auto... values)
{
    char buffer[256];
    const int written = std::snprintf(buffer, sizeof buffer, format, values...);
    return std::string(buffer, static_cast<std::size_t>(written < 0 ? 0 : std::min<int>(written, sizeof buffer - 1)));
}
