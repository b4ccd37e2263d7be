#include "app/testhooks.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "center/kovacenter.h"
#include "platform/platform.h"

namespace {

const size_t kMaxSecret = 64;

// Read into fixed storage, never the heap, so the look finds only the
// program's own copies.
char g_secrets[1024];
wchar_t g_report[MAX_PATH];

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One hex value into `out` (NUL-terminated); its length, or 0 when it is not
// hex or too long.
size_t Decode(const char* hex, size_t length, char (&out)[kMaxSecret + 1]) {
    if (length == 0 || length % 2 != 0 || length / 2 > kMaxSecret) return 0;
    for (size_t i = 0; i < length; i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return 0;
        out[i / 2] = static_cast<char>(high * 16 + low);
    }
    out[length / 2] = '\0';
    return length / 2;
}

// Each value without its first character, which is all a short string's
// clear() zeroes: a cleared but unwiped copy must still count.
void ReportHeap() {
    FILE* report = _wfopen(g_report, L"ab");
    if (!report) return;
    const char* at = g_secrets;
    while (*at) {
        const char* end = std::strchr(at, ';');
        const size_t length = end ? static_cast<size_t>(end - at) : std::strlen(at);
        char secret[kMaxSecret + 1];
        wchar_t wide[kMaxSecret + 1];
        const size_t n = Decode(at, length, secret);
        if (n > 1) {
            for (size_t i = 0; i <= n; ++i) wide[i] = static_cast<unsigned char>(secret[i]);
            const int ansi = platform::CountInProgramHeap(secret + 1, n - 1);
            const int utf16 = platform::CountInProgramHeap(wide + 1, (n - 1) * sizeof(wchar_t));
            std::fprintf(report, "%.*s %d %d\n", static_cast<int>(length), at, ansi, utf16);
            platform::WipeMemory(secret, sizeof secret);
            platform::WipeMemory(wide, sizeof wide);
        }
        if (!end) break;
        at = end + 1;
    }
    std::fclose(report);
}

} // namespace

void InstallTestHooks() {
    const DWORD secrets = GetEnvironmentVariableA("KOVA_TEST_HEAP_SECRETS", g_secrets, sizeof g_secrets);
    const DWORD report = GetEnvironmentVariableW(L"KOVA_TEST_HEAP_REPORT", g_report, MAX_PATH);
    if (secrets == 0 || secrets >= sizeof g_secrets || report == 0 || report >= MAX_PATH) return;
    KovaCenter::SetLogoutHook(&ReportHeap);
}

void MarkStart(const char* name) {
    wchar_t path[MAX_PATH];
    char start[32];
    const DWORD n = GetEnvironmentVariableW(L"KOVA_TEST_START_MARKS", path, MAX_PATH);
    const DWORD m = GetEnvironmentVariableA("KOVA_TEST_START_QPC", start, sizeof start);
    if (n == 0 || n >= MAX_PATH || m == 0 || m >= sizeof start) return;
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    const double ms = 1000.0 * static_cast<double>(now.QuadPart - _atoi64(start)) / static_cast<double>(frequency.QuadPart);
    if (FILE* marks = _wfopen(path, L"a")) {
        std::fprintf(marks, "%s %.2f\n", name, ms);
        std::fclose(marks);
    }
}
