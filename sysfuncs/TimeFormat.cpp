#include "sysfuncs/TimeFormat.h"

#include <cstdio>

namespace {

const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};
const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};

bool IsLeapYear(long long year) { return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0); }

int DaysInMonth(int month, long long year) {
    switch (month) {
        case 3:
        case 5:
        case 8:
        case 10:
            return 30;
        case 1:
            return IsLeapYear(year) ? 29 : 28;
        default:
            return 31;
    }
}

const char* OrdinalSuffix(int day) {
    switch (day) {
        case 1:
        case 21:
        case 31:
            return "st";
        case 2:
        case 22:
            return "nd";
        case 3:
        case 23:
            return "rd";
        default:
            return "th";
    }
}

// A broken-down time from outside may hold any numbers; names are looked up only in range.
const char* Name(const char* const* names, int count, int index) {
    return index >= 0 && index < count ? names[index] : "";
}

void Append(std::string& out, const char* format, long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    out += buffer;
}

}  // namespace

std::string FormatTime(const std::string& format, const std::tm& local, std::int64_t unixSeconds,
                       std::uint32_t uptimeMs) {
    const long long year = 1900LL + local.tm_year;
    const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    std::string out;
    for (const char code : format) {
        switch (code) {
            case 'd':
                Append(out, "%02lld", local.tm_mday);
                break;
            case 'j':
                Append(out, "%lld", local.tm_mday);
                break;
            case 'D':
                out += Name(kShortDays, 7, local.tm_wday);
                break;
            case 'l':
                out += Name(kDays, 7, local.tm_wday);
                break;
            case 'w':
                Append(out, "%lld", local.tm_wday);
                break;
            case 'z':
                Append(out, "%lld", local.tm_yday);
                break;
            case 'S':
                out += OrdinalSuffix(local.tm_mday);
                break;
            case 'm':
                Append(out, "%02lld", local.tm_mon + 1);
                break;
            case 'n':
                Append(out, "%lld", local.tm_mon + 1);
                break;
            case 'M':
                out += Name(kShortMonths, 12, local.tm_mon);
                break;
            case 'F':
                out += Name(kMonths, 12, local.tm_mon);
                break;
            case 't':
                Append(out, "%lld", DaysInMonth(local.tm_mon, year));
                break;
            case 'L':
                out += IsLeapYear(year) ? '1' : '0';
                break;
            case 'Y':
                Append(out, "%02lld", year);
                break;
            case 'y':
                Append(out, "%02lld", ((year % 100) + 100) % 100);
                break;
            case 'a':
                out += local.tm_hour < 12 ? "am" : "pm";
                break;
            case 'A':
                out += local.tm_hour < 12 ? "AM" : "PM";
                break;
            case 'g':
                Append(out, "%lld", hour12);
                break;
            case 'h':
                Append(out, "%02lld", hour12);
                break;
            case 'G':
                Append(out, "%lld", local.tm_hour);
                break;
            case 'H':
                Append(out, "%02lld", local.tm_hour);
                break;
            case 'i':
                Append(out, "%02lld", local.tm_min);
                break;
            case 's':
                Append(out, "%02lld", local.tm_sec);
                break;
            case 'I':
                out += local.tm_isdst > 0 ? '1' : '0';
                break;
            case 'U':
                Append(out, "%lld", unixSeconds);
                break;
            // Unsigned: the counter wraps after 49.7 days and is never negative.
            case 'u':
                Append(out, "%lld", static_cast<long long>(uptimeMs));
                break;
            case 'r': {
                // asctime's layout, written here so an odd year cannot overflow its buffer.
                char buffer[64];
                std::snprintf(buffer, sizeof buffer, "%.3s %.3s%3d %.2d:%.2d:%.2d %lld",
                              Name(kShortDays, 7, local.tm_wday),
                              Name(kShortMonths, 12, local.tm_mon), local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec, year);
                out += buffer;
                break;
            }
            default:
                out += code;
                break;
        }
    }
    return out;
}
