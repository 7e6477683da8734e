#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// Formats a moment after a format of single-letter codes (d, j, D, l, w, z, S, m, n, M, F, t,
// L, Y, y, a, A, g, h, G, H, i, s, I, U, u, r); every other character is copied. local is the
// moment broken down in local time, unixSeconds the same moment counted from 1970 (UTC), and
// uptimeMs the milliseconds since the system started.
std::string FormatTime(const std::string& format, const std::tm& local, std::int64_t unixSeconds,
                       std::uint32_t uptimeMs);
