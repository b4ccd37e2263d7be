// ReadDate and FormatDate on any text: saturated numbers never overflow.
#include "center/kovacenter_records.h"
#include "fuzz/fuzz_codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    DateTime date;
    ReadDate(text, date);
    std::string shown = KovaCenterRecords::FormatDate(date);
    if (date.tm_year > 0 && shown.empty()) std::abort();
    return 0;
}
