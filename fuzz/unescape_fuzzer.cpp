// UnescapeJSON on any string; text without a backslash comes back unchanged.
#include <cstring>

#include "json/xmlnode.h"
#include "fuzz/fuzz_codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = TakeCodePage(data, size);
    std::string out = UnescapeJSON(text);
    if (text.find('\\') == std::string::npos && out != text) std::abort();
    return 0;
}
