#include "clock.h"

namespace kovasvc {

std::string FormatDateTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string NowText() { return FormatDateTime(std::time(nullptr)); }

} // namespace kovasvc
