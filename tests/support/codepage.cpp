// Picks the process code page for a test run from KOVA_TEST_CODEPAGE (950 or
// 65001), before any test runs, so one executable covers both. On Windows the
// code page cannot be chosen: the run fails unless the system's is the one
// asked for.
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace {

struct CodePageFromEnvironment {
    CodePageFromEnvironment() {
        const char* wanted = std::getenv("KOVA_TEST_CODEPAGE");
        if (!wanted || !*wanted) return;
        unsigned cp = static_cast<unsigned>(std::strtoul(wanted, nullptr, 10));
        if (!platform::SetAnsiCodePage(cp)) {
            std::fprintf(stderr, "code page %u is not available (active: %u)\n", cp, platform::AnsiCodePage());
            std::exit(2);
        }
    }
};

const CodePageFromEnvironment g_codePage;

} // namespace
