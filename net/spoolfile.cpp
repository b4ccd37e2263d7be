#include "net/spoolfile.h"

#include <atomic>

#include "net/bodyencoding.h"

namespace net {

namespace {
std::atomic<uint32_t> g_spoolCounter{0};
}

uint32_t NextSpoolCounter() { return g_spoolCounter.fetch_add(1) + 1; }

bool CreateSpoolFile(const std::string& folder, std::string* path, File* file) {
    if (folder.empty()) return false;
    IFileSystem& fs = IFileSystem::Instance();
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string candidate = JoinPath(folder, SpoolFileName(NextSpoolCounter()));
        // "x": fails when anything stands at the name, so two bodies never
        // share one; the file is the user's alone from its first moment.
        File created = fs.Open(candidate, "wbx");
        if (created.IsOpen()) {
            *path = candidate;
            *file = std::move(created);
            return true;
        }
    }
    return false;
}

} // namespace net
