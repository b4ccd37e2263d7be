// Dates of the service records, read the way a stream extraction of six
// integers with one skipped character between them reads them, without its
// overflow: long digit runs saturate.
#include <cstdint>
#include <limits>

#include "center/kovacenter_records.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int32_t SaturatingAdd(int32_t value, int32_t delta) {
    int64_t r = static_cast<int64_t>(value) + delta;
    if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (r < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

} // namespace

bool ReadInt(const char*& p, const char* end, int32_t& value) {
    const char* q = p;
    while (q < end && IsSpace(*q)) ++q;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    if (q >= end || *q < '0' || *q > '9') return false;
    // Accumulated as a magnitude past the limit and clamped, so a run of any
    // length ends at INT32_MAX or INT32_MIN.
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    int64_t magnitude = 0;
    for (; q < end && *q >= '0' && *q <= '9'; ++q) {
        magnitude = magnitude * 10 + (*q - '0');
        if (magnitude > limit) magnitude = limit;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    p = q;
    return true;
}

void ReadDate(const std::string& text, DateTime& date) {
    date = DateTime();
    date.tm_year = 1900;
    date.tm_mday = 1;
    const char* p = text.data();
    const char* end = p + text.size();
    // Each step runs only while every step before it found its number, and
    // between numbers exactly one character is skipped, whatever it is.
    int32_t* fields[] = {&date.tm_year, &date.tm_mon, &date.tm_mday, &date.tm_hour, &date.tm_min, &date.tm_sec};
    const int32_t offsets[] = {-1900, -1, 0, 0, 0, 0};
    for (int k = 0; k < 6; ++k) {
        if (k > 0) {
            if (p >= end) return;
            ++p;
        }
        if (!ReadInt(p, end, *fields[k])) {
            // A failed extraction stores 0, the year's offset still applies.
            if (k == 0) date.tm_year = 0;
            return;
        }
        *fields[k] = SaturatingAdd(*fields[k], offsets[k]);
    }
}
