#include "net/httprequest.h"

#include <algorithm>
#include <cstring>

#include "files/filesystem.h"
#include "platform/platform.h"
#include "text/encoding.h"

namespace {

std::atomic<int32_t> g_liveRequests{0};

// The spool folder is set at start-up and read by every worker that builds
// a body; the lock makes a late change safe rather than torn.
CS_Lock& SpoolFolderLock() {
    static CS_Lock lock(0);
    return lock;
}
std::string& SpoolFolderValue() {
    static std::string folder;
    return folder;
}

std::string LastComponent(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The part's file name stays in the process code page, as it always went; a
// character the code page lacks becomes its default character there. Bytes
// that are not UTF-8 go as they are.
std::string PartFileName(const std::string& utf8Path) {
    const std::string name = LastComponent(utf8Path);
    std::string ansi;
    return Utf8ToAnsi(name, ansi) ? ansi : name;
}

} // namespace

HTTPRequest::HTTPRequest(const std::string& url_, Method method, Answer answer, Encoding encoding)
    : url(url_), useGet(method == kGet ? 1 : 0), state(kCreated), statusCode(0), resultKind(kNone), resultLength(0),
      resultWidth(0), resultHeight(0), resultFormat(0), binaryResult(answer == kBinaryAnswer ? 1 : 0),
      forceMultipart(encoding == kAlwaysMultipart ? 1 : 0), bodyBuilt(0) {
    g_liveRequests.fetch_add(1);
}

HTTPRequest::~HTTPRequest() {
    // A request released without completing (ReleaseAll at shut-down) must
    // not leave the certificate and its password behind in the spool file.
    RemoveSpoolFile();
    // Fields and body hold passwords and the certificate's bytes.
    for (std::string& f : fields) platform::WipeString(f);
    platform::WipeVector(body);
    g_liveRequests.fetch_sub(1);
}

void HTTPRequest::SetSpoolFolder(const std::string& folder) {
    CS_Guard guard(SpoolFolderLock(), __FILE__, __LINE__);
    SpoolFolderValue() = folder;
}

std::string HTTPRequest::GetSpoolFolder() {
    CS_Guard guard(SpoolFolderLock(), __FILE__, __LINE__);
    return SpoolFolderValue();
}

int32_t HTTPRequest::LiveCount() { return g_liveRequests.load(); }

void HTTPRequest::AddField(const std::string& name, const std::string& value, bool allowDuplicate) {
    if (!allowDuplicate) {
        for (size_t i = 0; i + 1 < fields.size(); i += 2) {
            if (fields[i] == name) {
                platform::WipeString(fields[i + 1]);  // a reallocation would free the old value unwiped
                fields[i + 1] = value;
                return;
            }
        }
    }
    if (fields.size() + 2 > fields.capacity()) {
        // Growing moves the values; a short one lives inside its element, so
        // the old storage would keep a copy: wipe each one left behind.
        std::vector<std::string> grown;
        grown.reserve(std::max<size_t>(8, fields.capacity() * 2));
        for (std::string& f : fields) {
            grown.push_back(std::move(f));
            platform::WipeString(f);
        }
        fields.swap(grown);
    }
    fields.push_back(name);
    fields.push_back(value);
}

bool HTTPRequest::GetField(const std::string& name, std::string& value) const {
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i] == name) {
            value = fields[i + 1];
            return true;
        }
    }
    return false;
}

bool HTTPRequest::AddFile(const std::string& name, const std::string& path, bool allowDuplicate, FileData* out) {
    IFileSystem& fs = IFileSystem::Instance();
    File file(platform::OpenFileUtf8(path, "rb"));
    if (!file.IsOpen()) return false;
    int64_t size = -1;
    if (fs.Seek(file, 0, IFileSystem::kEnd)) size = fs.Tell(file);
    fs.Close(file);
    // The size travels as an int and in the Content-Length line.
    if (size < 0 || size > INT32_MAX) return false;

    FileData* entry = nullptr;
    if (!allowDuplicate) {
        for (FileData& f : files) {
            if (f.name == name) {
                entry = &f;
                break;
            }
        }
    }
    if (!entry) {
        files.emplace_back();
        entry = &files.back();
    }
    entry->name = name;
    entry->path = path;
    entry->size = static_cast<int>(size);
    entry->fileName = PartFileName(path);
    if (out) *out = *entry;
    return true;
}

const std::vector<char>& HTTPRequest::GetBody() {
    if (!bodyBuilt) BuildBody();
    return body;
}

const std::string& HTTPRequest::GetContentType() {
    if (!bodyBuilt) BuildBody();
    return contentType;
}

void HTTPRequest::FreeResult() {
    std::vector<char>().swap(resultData);  // clear() would keep the memory
    resultKind = kNone;
    resultLength = 0;
    resultWidth = 0;
    resultHeight = 0;
    resultFormat = 0;
}

void HTTPRequest::SetTextResult(const char* text) {
    FreeResult();
    resultKind = kText;
    if (!text) return;
    const size_t length = std::strlen(text);
    if (length > static_cast<size_t>(INT32_MAX) - 1) return;
    resultData.assign(text, text + length + 1);
    resultLength = static_cast<int>(length);
}

void HTTPRequest::SetImageResult(const uint8_t* pixels, int width, int height, uint8_t format) {
    FreeResult();
    resultKind = kImage;
    resultWidth = width;
    resultHeight = height;
    resultFormat = format;
    const int64_t bytesPerPixel = format == 1 ? 3 : format == 2 ? 4 : 0;
    const int64_t length = width > 0 && height > 0 ? static_cast<int64_t>(width) * height * bytesPerPixel : 0;
    if (length <= 0 || length > INT32_MAX || !pixels) return;
    const char* bytes = reinterpret_cast<const char*>(pixels);
    resultData.assign(bytes, bytes + length);
    resultLength = static_cast<int>(length);
}

void HTTPRequest::SetDataResult(const void* bytes, int length) {
    FreeResult();
    resultKind = kData;
    if (!bytes || length <= 0) return;
    const char* begin = static_cast<const char*>(bytes);
    resultData.assign(begin, begin + length);
    resultLength = length;
}

void HTTPRequest::TakeTextResult(std::vector<char>&& text) {
    const size_t length = static_cast<size_t>(std::find(text.begin(), text.end(), '\0') - text.begin());
    if (length > static_cast<size_t>(INT32_MAX) - 1) {
        FreeResult();
        resultKind = kText;
        return;
    }
    // Shrinking keeps the storage; only a missing NUL may have to grow it,
    // and that happens before the previous result is given up.
    if (length < text.size()) {
        text.resize(length + 1);
    } else {
        text.push_back('\0');
    }
    FreeResult();
    resultKind = kText;
    resultData = std::move(text);
    resultLength = static_cast<int>(length);
}

void HTTPRequest::TakeDataResult(std::vector<char>&& bytes) {
    FreeResult();
    resultKind = kData;
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) return;
    resultData = std::move(bytes);
    resultLength = static_cast<int>(resultData.size());
}

bool HTTPRequest::RemoveSpoolFile() {
    if (spoolPath.empty() || spoolRemoved) return true;
    // Only a successful removal counts: while the name is taken, exclusive
    // creation keeps every other body off it, so a later retry removes ours.
    spoolRemoved = IFileSystem::Instance().Remove(spoolPath);
    return spoolRemoved;
}

bool HTTPRequest::ClaimExchange() {
    uint8_t idle = kIdle;
    return exchangePhase.compare_exchange_strong(idle, kRunning);
}

bool HTTPRequest::ClaimCancel() {
    uint8_t idle = kIdle;
    if (exchangePhase.compare_exchange_strong(idle, kCancelledBeforeRun)) return true;
    uint8_t running = kRunning;
    exchangePhase.compare_exchange_strong(running, kCancelWhileRunning);
    return false;
}
