// The first input byte picks the process code page, so one run covers the
// double-byte stepping of 950 and the UTF-8 joining rules of 65001.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

inline std::string TakeCodePage(const uint8_t* data, size_t size) {
    if (size == 0) return std::string();
    if (!platform::SetAnsiCodePage((data[0] & 1) ? 950u : platform::kCodePageUtf8)) std::abort();
    return std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
}
