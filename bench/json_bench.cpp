// The program's JSON reader side by side with RapidJSON and nlohmann::json:
// each parses the same userAuth-shaped answers and walks every value.
// Prints MB/s, the reader's speed as a fraction of each library's, and the
// peak heap each parse needs as a multiple of the input size.
//
// Numbers only mean something from an optimized build:
//   cmake --preset linux -B build/bench -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target json_bench && build/bench/bench/json_bench
// The win32 preset builds it too (RelWithDebInfo), to see the 32-bit
// program's own sizes: scripts/winerun build/win32/bench/json_bench.exe
#include <malloc.h>

#include <new>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include "bench/json_inputs.h"
#include "text/encoding.h"
#include "json/xmlnode.h"

// ---- heap accounting ------------------------------------------------------
// Every operator new of the process, and RapidJSON's allocations through an
// allocator that counts the same way.

namespace {

std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};

size_t BlockSize(void* p) {
#ifdef _WIN32
    return _msize(p);
#else
    return malloc_usable_size(p);
#endif
}

void Count(long long delta) {
    long long now = g_live.fetch_add(delta) + delta;
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void* CountedMalloc(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (p) Count(static_cast<long long>(BlockSize(p)));
    return p;
}

void CountedFree(void* p) {
    if (!p) return;
    Count(-static_cast<long long>(BlockSize(p)));
    std::free(p);
}

struct CountingAllocator {
    static const bool kNeedFree = true;
    void* Malloc(size_t n) { return n ? CountedMalloc(n) : nullptr; }
    void* Realloc(void* old, size_t, size_t n) {
        if (n == 0) {
            CountedFree(old);
            return nullptr;
        }
        long long before = old ? static_cast<long long>(BlockSize(old)) : 0;
        void* p = std::realloc(old, n);
        if (p) Count(static_cast<long long>(BlockSize(p)) - before);
        return p;
    }
    static void Free(void* p) { CountedFree(p); }
};

typedef rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<CountingAllocator>,
                                   CountingAllocator>
    CountedDocument;

} // namespace

void* operator new(size_t n) {
    void* p = CountedMalloc(n);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }

namespace {

// ---- walks: touch every value so lazy work cannot be skipped ---------------

size_t Walk(const XMLNode& n) {
    size_t sum = n.name.size() + n.value.size();
    for (const XMLNode& c : n.children) sum += Walk(c);
    return sum;
}

size_t Walk(const CountedDocument::ValueType& v) {
    size_t sum = 0;
    if (v.IsObject()) {
        for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) sum += m->name.GetStringLength() + Walk(m->value);
    } else if (v.IsArray()) {
        for (const CountedDocument::ValueType& e : v.GetArray()) sum += Walk(e);
    } else if (v.IsString()) {
        sum += v.GetStringLength();
    } else {
        sum += 1;
    }
    return sum;
}

size_t Walk(const nlohmann::json& v) {
    size_t sum = 0;
    if (v.is_object()) {
        for (auto it = v.begin(); it != v.end(); ++it) sum += it.key().size() + Walk(it.value());
    } else if (v.is_array()) {
        for (const nlohmann::json& e : v) sum += Walk(e);
    } else if (v.is_string()) {
        sum += v.get_ref<const std::string&>().size();
    } else {
        sum += 1;
    }
    return sum;
}

struct Result {
    double mbPerSecond;
    double peakRatio;  // peak heap of one parse / input size
};

volatile size_t g_sink;

// Runs `parse` repeatedly for at least `seconds` and keeps the fastest run
// (the machine is shared: the mean would measure the neighbours); the first
// run also measures the heap it needs beyond what was live before it.
Result Measure(const std::string& input, const std::function<size_t()>& parse, double seconds) {
    long long base = g_live.load();
    g_peak.store(base);
    g_sink = parse();
    double peak = static_cast<double>(g_peak.load() - base);
    double total = 0;
    double best = 1e30;
    long runs = 0;
    do {
        auto start = std::chrono::steady_clock::now();
        g_sink = parse();
        double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (t < best) best = t;
        total += t;
        ++runs;
    } while (total < seconds || runs < 5);
    return {static_cast<double>(input.size()) / best / 1e6, peak / static_cast<double>(input.size())};
}

} // namespace

int main(int argc, char** argv) {
#ifndef __OPTIMIZE__
    std::printf("warning: built without optimization; the numbers are not meaningful\n");
#endif
    double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    struct Size {
        const char* name;
        int accounts;
    };
    const Size sizes[] = {{"small", 3}, {"medium", 200}, {"large", 20000}};
    std::printf("%-7s %10s | %9s %9s %9s %9s | %8s %8s | %6s %6s %6s %6s\n", "input", "bytes", "kova950", "kova65001",
                "rapidjson", "nlohmann", "x rapid", "x nloh", "mem950", "mem650", "memRJ", "memNL");
    std::vector<double> nsPerByte;
    bool have65001 = true;
    for (const Size& size : sizes) {
        const std::string utf8 = UserAuthAnswer(size.accounts);
        // The program converts an answer to the process code page first.
        platform::SetAnsiCodePage(950);
        std::string big5;
        Utf8ToAnsi(utf8, big5);
        Result k950 = Measure(big5, [&] {
            XMLNode root;
            ParseJSON(big5, root);
            return Walk(root);
        }, seconds);
        // Windows cannot switch to 65001: that column is left out there.
        Result k65001 = k950;
        have65001 = platform::SetAnsiCodePage(platform::kCodePageUtf8);
        if (have65001) {
            k65001 = Measure(utf8, [&] {
                XMLNode root;
                ParseJSON(utf8, root);
                return Walk(root);
            }, seconds);
        }
        Result rj = Measure(utf8, [&] {
            CountedDocument d;
            d.Parse(utf8.c_str(), utf8.size());
            return Walk(d);
        }, seconds);
        Result nl = Measure(utf8, [&] { return Walk(nlohmann::json::parse(utf8)); }, seconds);
        double slowest = k950.mbPerSecond < k65001.mbPerSecond ? k950.mbPerSecond : k65001.mbPerSecond;
        std::printf("%-7s %10zu | %9.1f %9.1f %9.1f %9.1f | %8.2f %8.2f | %6.2f %6.2f %6.2f %6.2f\n", size.name,
                    utf8.size(), k950.mbPerSecond, k65001.mbPerSecond, rj.mbPerSecond, nl.mbPerSecond,
                    slowest / rj.mbPerSecond, slowest / nl.mbPerSecond, k950.peakRatio, k65001.peakRatio,
                    rj.peakRatio, nl.peakRatio);
        nsPerByte.push_back(1e3 / k65001.mbPerSecond);
    }
    std::printf("MB/s of parse + walk (fastest run); \"x rapid\"/\"x nloh\": the slower of the reader's two runs over that\n"
                "library; mem: peak heap of one parse as a multiple of the input (code page 950 input is the\n"
                "converted text). Growth medium -> large: %.2fx time per byte (1.00 = linear).\n",
                nsPerByte[2] / nsPerByte[1]);
    if (!have65001) std::printf("Code page 65001 cannot be chosen here: its columns repeat 950's.\n");
    return 0;
}
