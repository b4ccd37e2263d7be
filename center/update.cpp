// The version check against the operator's manifest and the download of the
// new executable.
#include <cstring>
#include <vector>

#include "center/instance.h"
#include "center/kovacenter.h"
#include "files/filesystem.h"
#include "net/httpconnection.h"
#include "net/httprequest.h"

namespace {

const char kManifestPath[] = "/download/API/kovaapp.json";

// Only an https address may deliver an executable: over plain HTTP anyone on
// the way could swap it.
bool IsHttpsUrl(const std::string& url) {
    static const char kScheme[] = "https://";
    const size_t n = sizeof kScheme - 1;
    if (url.size() <= n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = url[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kScheme[i]) return false;
    }
    return true;
}

// The numbers between the dots; empty pieces are skipped, a piece without
// digits counts 0.
std::vector<int64_t> VersionPieces(const std::string& text) {
    std::vector<int64_t> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t dot = text.find('.', start);
        if (dot == std::string::npos) dot = text.size();
        if (dot > start) {
            const char* p = text.data() + start;
            int32_t value = 0;
            ReadInt(p, text.data() + dot, value);
            pieces.push_back(value);
        }
        start = dot + 1;
    }
    return pieces;
}

} // namespace

std::atomic<KovaCenter::UpdateCheck> KovaCenter::updateCheck{nullptr};

bool KovaCenter::IsNewerVersion() const { return IsNewer(serverVersion, version); }

bool KovaCenter::IsNewer(const std::string& candidate, const std::string& than) {
    if (candidate.empty()) return false;
    std::vector<int64_t> own = VersionPieces(than), server = VersionPieces(candidate);
    const size_t n = own.size() > server.size() ? own.size() : server.size();
    own.resize(n, 0);
    server.resize(n, 0);
    if (n > 4) {
        // Base-100 weights would overflow; for pieces below 100 comparing the
        // pieces in order gives the same answer.
        for (size_t i = 0; i < n; ++i)
            if (own[i] != server[i]) return own[i] < server[i];
        return false;
    }
    // Pieces are int32 (ReadInt saturates); four of them weighted by 100^3 at
    // most stay far inside int64.
    int64_t ownValue = 0, serverValue = 0;
    for (size_t i = 0; i < n; ++i) {
        ownValue = ownValue * 100 + own[i];
        serverValue = serverValue * 100 + server[i];
    }
    return ownValue < serverValue;
}

bool KovaCenter::CheckVersion(platform::WindowHandle window) {
    HTTPRequest* request = new HTTPRequest(std::string(ServiceOrigin()) + kManifestPath, HTTPRequest::kGet);
    request->SetCallback(&KovaCenter::OnManifestComplete);
    updateWindow = window;
    return SendRequest(request);
}

bool KovaCenter::DownloadUpdate(const std::string& targetPath, platform::WindowHandle window) {
    if (updateUrl.empty() || !IsHttpsUrl(updateUrl) || targetPath.empty()) return false;
    HTTPRequest* request = new HTTPRequest(updateUrl, HTTPRequest::kGet, HTTPRequest::kBinaryAnswer);
    request->SetMinimumRate(1024, 30000);  // no fixed deadline fits 256 MiB on a slow line
    request->SetUserText(targetPath);
    request->SetCallback(&KovaCenter::OnDownloadComplete);
    updateFile.clear();
    updateWindow = window;
    return SendRequest(request);
}

void KovaCenter::OnManifestComplete(HTTPRequest* request) {
    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    if (!self) return;
    XMLNode root;
    int code = -1;
    if (!center_detail::ReadAnswer(request, root, code)) return;
    XMLNode* versionNode = root.FindFirst("version");
    if (!versionNode) return;
    self->serverVersion = versionNode->value;
    const std::string url = root.Child("url").value;
    self->updateUrl = IsHttpsUrl(url) ? url : std::string();
    // A version that could not be installed here is not offered again: the
    // program would close for it at every start.
    const bool refused = !self->refusedVersion.empty() && !IsNewer(self->serverVersion, self->refusedVersion);
    if (self->IsNewerVersion() && !refused && !self->updateUrl.empty()) self->NotifyUpdate(kMsgUpdateOffered, 0);
}

namespace {

// Saves the download at `target`; false, with no file left, unless it was
// written whole.
bool SaveDownload(HTTPRequest* request, const std::string& target) {
    IFileSystem& fs = IFileSystem::Instance();
    // A file of an earlier run goes first; what is saved is then created new
    // and the user's alone, so nobody else can read or swap the program
    // that is about to run. Whatever cannot be removed fails the download.
    fs.Remove(target);
    File file = fs.Open(target, "wbx");
    if (!file.IsOpen()) return false;
    const size_t length = request->GetResultLength() > 0 ? static_cast<size_t>(request->GetResultLength()) : 0;
    bool whole = length == 0 || fs.Write(file, request->GetResultData(), length) == length;
    // A failed final write shows only at close.
    whole = file.Close() && whole;
    // A partial executable must never be started.
    if (!whole) fs.Remove(target);
    return whole;
}

} // namespace

void KovaCenter::OnDownloadComplete(HTTPRequest* request) {
    uint32_t serial = 0;
    {
        center_detail::CompletionScope scope;
        if (!scope.center) return;
        serial = scope.serial;
    }
    // Writing up to the download cap takes a while: without the guard, so the
    // GUI thread never waits for the disk.
    const std::string target = request->GetUserText();
    bool saved = request->GetState() == HTTPRequest::kDone && request->GetStatusCode() == 200 &&
                 !target.empty() && SaveDownload(request, target);
    request->SetUserText(std::string());
    // Only what the program's own publisher made is kept; anything else is
    // a failed download and leaves no file.
    const UpdateCheck check = updateCheck.load();
    if (saved && !(check && check(target))) {
        IFileSystem::Instance().Remove(target);
        saved = false;
    }

    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    // Released (or replaced) meanwhile: nobody is left to tell.
    if (!self || scope.serial != serial) return;
    if (saved) self->updateFile = target;
    self->NotifyUpdate(kMsgUpdateDownloaded, saved ? 1 : 0);
}
