// Local wall-clock time in the record format "YYYY-MM-DD HH:MM:SS".
#pragma once

#include <ctime>
#include <string>

namespace kovasvc {

std::string FormatDateTime(std::time_t t);
std::string NowText();

} // namespace kovasvc
