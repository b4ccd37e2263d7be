// The program's JSON reader side by side with RapidJSON and nlohmann::json:
// each parses the same userAuth-shaped answers and walks every value.
// Prints MB/s, the reader's speed as a fraction of each library's, and the
// peak heap each parse needs as a multiple of the input size.
//
// Numbers only mean something from an optimized build:
//   cmake --preset linux -B build/bench -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target json_bench && build/bench/bench/json_bench [sample-s] [rounds]
// The win32 preset builds it too (RelWithDebInfo), to see the 32-bit
// program's own sizes: scripts/winerun build/win32/bench/json_bench.exe
#include <malloc.h>

#include <new>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include "bench/json_inputs.h"
#include "text/encoding.h"
#include "json/jsonreader.h"

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

volatile size_t g_sink;

// One side of the comparison: its input, the code page it runs under (0:
// none needed) and one parse plus walk.
struct Contender {
    Contender(const std::string* input, unsigned codePage, std::function<size_t()> parse)
        : input(input), codePage(codePage), parse(std::move(parse)) {}
    const std::string* input;
    unsigned codePage;
    std::function<size_t()> parse;
    long batch = 1;                // parses per timed sample
    std::vector<double> secPerByte;  // one per round
    double peakRatio = 0;          // peak heap of one parse / input size
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Select(const Contender& c) {
    if (c.codePage) platform::SetAnsiCodePage(c.codePage);
}

// First run: the heap it needs beyond what was live before it, then a batch
// size that makes one sample last about `sampleSeconds`.
void Prepare(Contender& c, double sampleSeconds) {
    Select(c);
    long long base = g_live.load();
    g_peak.store(base);
    g_sink = c.parse();
    c.peakRatio = static_cast<double>(g_peak.load() - base) / static_cast<double>(c.input->size());
    auto start = std::chrono::steady_clock::now();
    g_sink = c.parse();
    double one = Seconds(start);
    c.batch = one > 0 ? static_cast<long>(sampleSeconds / one) : 1000;
    if (c.batch < 1) c.batch = 1;
}

// Rounds of one sample per side, the order rotated every round, so that the
// shared machine's slow spells fall on every side alike.
void RunRounds(std::vector<Contender>& sides, int rounds) {
    for (int r = 0; r < rounds; ++r) {
        for (size_t k = 0; k < sides.size(); ++k) {
            Contender& c = sides[(k + static_cast<size_t>(r)) % sides.size()];
            Select(c);
            auto start = std::chrono::steady_clock::now();
            for (long i = 0; i < c.batch; ++i) g_sink = c.parse();
            double t = Seconds(start) / static_cast<double>(c.batch);
            c.secPerByte.push_back(t / static_cast<double>(c.input->size()));
        }
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double MBPerSecond(const Contender& c) { return 1e-6 / Median(c.secPerByte); }

// The reader's speed over a library's, taken within each round (the sides
// of one round share the machine's mood) and the median of those.
double RoundRatio(const Contender& k950, const Contender& k65001, const Contender& lib) {
    std::vector<double> ratios;
    for (size_t r = 0; r < lib.secPerByte.size(); ++r) {
        double reader = std::max(k950.secPerByte[r], k65001.secPerByte[r]);
        ratios.push_back(lib.secPerByte[r] / reader);
    }
    return Median(ratios);
}

} // namespace

int main(int argc, char** argv) {
#ifndef __OPTIMIZE__
    std::printf("warning: built without optimization; the numbers are not meaningful\n");
#endif
    const double sampleSeconds = argc > 1 ? std::atof(argv[1]) : 0.1;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    struct Size {
        const char* name;
        int accounts;
    };
    const Size sizes[] = {{"small", 3}, {"medium", 200}, {"large", 20000}};
    std::printf("%-7s %10s | %9s %9s %9s %9s | %8s %8s | %6s %6s %6s %6s\n", "input", "bytes", "kova950", "kova65001",
                "rapidjson", "nlohmann", "x rapid", "x nloh", "mem950", "mem650", "memRJ", "memNL");
    // Median seconds per byte of each size: reader (slower code page), RapidJSON.
    std::vector<double> readerPerByte, rapidPerByte;
    std::vector<double> overRapid;  // the rounds' median of reader over RapidJSON, per size
    // Windows cannot switch to 65001: that column is left out there.
    const bool have65001 = platform::SetAnsiCodePage(platform::kCodePageUtf8);
    for (const Size& size : sizes) {
        const std::string utf8 = UserAuthAnswer(size.accounts);
        // The program converts an answer to the process code page first.
        platform::SetAnsiCodePage(950);
        std::string big5;
        Utf8ToAnsi(utf8, big5);
        auto reader = [](const std::string& in) {
            return [&in] {
                XMLNode root;
                ParseJSON(in, root);
                return Walk(root);
            };
        };
        std::vector<Contender> sides;
        sides.push_back({&big5, 950, reader(big5)});
        if (have65001) sides.push_back({&utf8, platform::kCodePageUtf8, reader(utf8)});
        sides.push_back({&utf8, 0, [&] {
                             CountedDocument d;
                             d.Parse(utf8.c_str(), utf8.size());
                             return Walk(d);
                         }});
        sides.push_back({&utf8, 0, [&] { return Walk(nlohmann::json::parse(utf8)); }});
        for (Contender& c : sides) Prepare(c, sampleSeconds);
        RunRounds(sides, rounds);
        const Contender& k950 = sides[0];
        const Contender& k65001 = have65001 ? sides[1] : sides[0];
        const Contender& rj = sides[sides.size() - 2];
        const Contender& nl = sides[sides.size() - 1];
        double slowest = std::min(MBPerSecond(k950), MBPerSecond(k65001));
        std::printf("%-7s %10zu | %9.1f %9.1f %9.1f %9.1f | %8.2f %8.2f | %6.2f %6.2f %6.2f %6.2f\n", size.name,
                    utf8.size(), MBPerSecond(k950), MBPerSecond(k65001), MBPerSecond(rj), MBPerSecond(nl),
                    RoundRatio(k950, k65001, rj), RoundRatio(k950, k65001, nl), k950.peakRatio, k65001.peakRatio,
                    rj.peakRatio, nl.peakRatio);
        std::fflush(stdout);
        readerPerByte.push_back(1e-6 / slowest);
        overRapid.push_back(RoundRatio(k950, k65001, rj));
        rapidPerByte.push_back(Median(rj.secPerByte));
    }
    std::printf("MB/s of parse + walk: median of %d rounds, the sides alternating within each round;\n"
                "\"x rapid\"/\"x nloh\": the slower of the reader's two code pages over that library, median of\n"
                "the rounds' ratios; mem: peak heap of one parse as a multiple of the input (code page 950\n"
                "input is the converted text).\n"
                "Growth medium -> large, time per byte (1.00 = linear): reader %.2fx, rapidjson %.2fx;\n"
                "the reader's over RapidJSON's, from the rounds' ratios: %.2f (above 1: the reader's grows more).\n",
                rounds, readerPerByte[2] / readerPerByte[1], rapidPerByte[2] / rapidPerByte[1], overRapid[1] / overRapid[2]);
    if (!have65001) std::printf("Code page 65001 cannot be chosen here: its columns repeat 950's.\n");
    return 0;
}
