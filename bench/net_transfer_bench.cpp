// Upload of a 50 MB file through the spool path and download of a 50 MB
// answer over loopback, side by side with the curl command-line tool doing
// the same transfers in the same run; plus the client's peak memory growth.
//
// Run a Release build through the test server's script (it starts the server
// and sets the ports):
//   cmake --preset linux -B build/bench -DCMAKE_BUILD_TYPE=Release && cmake --build build/bench -j2
//   B=build/bench; tests/integration/net_exchange.sh native
//       $B/tests/integration/net_testserver $B/bench/net_transfer_bench $B/bench >/dev/null
// (one command line)
// The table goes to standard error.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/httpconnection.h"

namespace {

typedef std::chrono::steady_clock Clock;
const size_t kSize = 50u * 1024 * 1024;
const int kRuns = 3;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, std::string(key).size(), key) == 0) return std::atol(line.c_str() + std::string(key).size());
    return 0;
}

// Peak RSS restarts from the current RSS (Linux 4.0 and later).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One exchange through the program's own connection; returns ms, or -1.
double ClientRun(HTTPRequest* r, long* peakGrowthKb) {
    std::atomic<bool> done{false};
    std::atomic<int> state{0};
    r->SetCallback([&](HTTPRequest* q) {
        state = q->GetState();
        done = true;
    });
    HTTPConnectionImp* c = new HTTPConnectionImp;
    ResetPeak();
    const long before = StatusKb("VmRSS:");
    const Clock::time_point start = Clock::now();
    c->Send(r);
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double ms = Ms(Clock::now() - start);
    *peakGrowthKb = std::max(*peakGrowthKb, StatusKb("VmHWM:") - before);
    c->Release();
    return state == HTTPRequest::kDone ? ms : -1;
}

double CurlRun(const std::string& command) {
    const Clock::time_point start = Clock::now();
    const int rc = std::system((command + " >/dev/null 2>&1").c_str());
    return rc == 0 ? Ms(Clock::now() - start) : -1;
}

void Row(FILE* out, const char* what, const std::vector<double>& client, const std::vector<double>& curl, long peakKb) {
    const double a = Median(client), b = Median(curl);
    std::fprintf(out, "| %-28s | %9.1f | %9.1f | %5.2fx | %10.1f |\n", what, a, b, b > 0 ? a / b : 0.0, peakKb / 1024.0);
}

} // namespace

int main() {
    const std::string http = "http://127.0.0.1:" + Env("KOVA_NET_HTTP_PORT");
    const std::string folder = Env("KOVA_NET_SPOOL");
    if (folder.empty()) {
        std::fprintf(stderr, "run through tests/integration/net_exchange.sh (see the header)\n");
        return 2;
    }
    const std::string file = folder + "/upload.bin";
    {
        std::ofstream out(file, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 % 251);
        for (size_t i = 0; i < kSize / block.size(); ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    HTTPRequest::SetSpoolFolder(folder);
    // The table goes to standard error: standard output carries the
    // exchanges' timing lines.
    FILE* report = stderr;

    // Warm-up: the first exchange initialises libcurl and OpenSSL, which is
    // not the transfer's memory.
    long ignored = 0;
    ClientRun(new HTTPRequest(http + "/r/warmup", HTTPRequest::kGet), &ignored);

    std::vector<double> upClient, upCurl, downClient, downCurl;
    long upPeak = 0, downPeak = 0;
    const std::string down = http + "/big/down?type=application/octet-stream&n=" + std::to_string(kSize);
    for (int i = 0; i < kRuns; ++i) {
        HTTPRequest* up = new HTTPRequest(http + "/sink/up");
        up->AddField("text", "A123456789", false);
        up->AddFile("pfxFile", file, false, nullptr);
        upClient.push_back(ClientRun(up, &upPeak));
        upCurl.push_back(CurlRun("curl -s -o /dev/null -H 'Expect:' -F text=A123456789 -F 'pfxFile=@" + file +
                                 ";type=application/octet-stream' " + http + "/sink/up"));
        downClient.push_back(
            ClientRun(new HTTPRequest(down, HTTPRequest::kGet, HTTPRequest::kBinaryAnswer), &downPeak));
        // curl keeps the answer too (in a file), as the client keeps it in memory.
        downCurl.push_back(CurlRun("curl -s -o '" + folder + "/down.bin' '" + down + "'"));
    }
    std::fprintf(report, "\nmedian of %d runs, 50 MiB each, loopback HTTP\n", kRuns);
    std::fprintf(report, "| %-28s | %9s | %9s | %6s | %10s |\n", "transfer", "client ms", "curl ms", "ratio",
                 "peak MiB +");
    std::fprintf(report, "|------------------------------|-----------|-----------|--------|------------|\n");
    Row(report, "upload (spool, multipart)", upClient, upCurl, upPeak);
    Row(report, "download (binary result)", downClient, downCurl, downPeak);
    std::remove(file.c_str());
    std::remove((folder + "/down.bin").c_str());
    return 0;
}
