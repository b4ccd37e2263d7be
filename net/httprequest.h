// One HTTP exchange described as data: URL, method, form fields and files, the
// body built from them, and after the exchange its outcome and answer.
//
// Filled on the GUI thread before it is sent; afterwards touched only by the
// worker thread that runs it, until its completion callback has run.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "task/asynctask.h"

class HTTPConnection;

class HTTPRequest : public RefCountable {
public:
    struct FileData {
        std::string name;      // form field name; empty selects the related layout
        std::string fileName;  // last path component of `path`, in the process code page
        std::string path;      // as given, UTF-8
        int size = 0;          // bytes, measured when added and again when read
    };

    enum State : uint8_t { kCreated = 0, kPending = 1, kDone = 2, kFailed = 3, kCancelled = 5 };
    enum ResultKind { kNone = 0, kText = 1, kImage = 2, kData = 3 };

    typedef std::function<void(HTTPRequest*)> CompleteCallback;
    typedef std::function<void(HTTPRequest*, int64_t bytesReceived, int64_t contentLength)> DownloadCallback;
    typedef std::function<void(HTTPRequest*, int64_t bytesSent, int64_t bytesTotal)> UploadCallback;

    // How the request goes, by name at the call site: a POST of its fields
    // URL-encoded (multipart once a file is added) whose answer is text,
    // unless told otherwise. kGet puts the fields in the query, unless the
    // body is multipart; kBinaryAnswer keeps the answer as data, with the
    // larger cap; kAlwaysMultipart sends multipart without any file.
    enum Method { kPost, kGet };
    enum Answer { kTextAnswer, kBinaryAnswer };
    enum Encoding { kEncodedAsNeeded, kAlwaysMultipart };
    explicit HTTPRequest(const std::string& url, Method method = kPost, Answer answer = kTextAnswer,
                         Encoding encoding = kEncodedAsNeeded);
    // Frees the result; removes a spool file no completion has removed;
    // wipes the fields, the body and any file bytes read into memory.
    ~HTTPRequest() override;

    // Folder for the spool files of multipart bodies with files (process code
    // page); empty builds every body in memory. Set once at start-up; a body
    // built later picks up the value current at that time.
    static void SetSpoolFolder(const std::string& folder);
    static std::string GetSpoolFolder();
    // Live HTTPRequest objects in the process (a leak shows as a count that
    // does not return to its earlier value).
    static int32_t LiveCount();

    // Replaces the value of an existing field of the same name (byte
    // comparison) unless `allowDuplicate`; otherwise appends the pair.
    void AddField(const std::string& name, const std::string& value, bool allowDuplicate);
    // The value of the first field called `name`; false when there is none.
    bool GetField(const std::string& name, std::string& value) const;
    // `path` is UTF-8 and opened by that name, so a folder the process code
    // page cannot spell is no obstacle; the part names the file as that code
    // page renders it. False, with nothing changed, when `path` cannot be
    // opened for reading or is 2 GiB or larger. Replaces the entry of the same
    // `name` unless `allowDuplicate`.
    bool AddFile(const std::string& name, const std::string& path, bool allowDuplicate, FileData* out);

    void SetCallback(CompleteCallback callback) { onComplete = std::move(callback); }
    void SetDownloadProgress(DownloadCallback callback) { onDownloadProgress = std::move(callback); }
    void SetUploadProgress(UploadCallback callback) { onUploadProgress = std::move(callback); }
    // Header lines separated by CR LF, without a trailing CR LF.
    void SetExtraHeaders(const std::string& headers) { extraHeaders = headers; }
    void SetUserText(const std::string& text) { userText = text; }
    // The most answer bytes the exchange takes before it fails, below the cap
    // of the result's kind; 0 leaves that cap.
    void SetAnswerLimit(size_t bytes) { answerLimit = bytes; }
    size_t GetAnswerLimit() const { return answerLimit; }
    // The exchange's time limit: a total deadline (0: the build's, which
    // every service call has), or instead a minimum rate, for an answer too
    // large for any fixed deadline on a slow line: the exchange fails when
    // fewer than `bytesPerSecond` arrive on average over `windowMs`.
    void SetDeadline(uint32_t ms) { deadlineMs = ms; minimumRate = 0; }
    void SetMinimumRate(uint32_t bytesPerSecond, uint32_t windowMs) {
        minimumRate = bytesPerSecond;
        rateWindowMs = windowMs;
    }
    uint32_t GetDeadline() const { return deadlineMs; }
    uint32_t GetMinimumRate() const { return minimumRate; }
    uint32_t GetRateWindow() const { return rateWindowMs; }
    // Builds a body with files in memory even when a spool folder is set:
    // for small bodies holding secrets, which must never reach the disk.
    void SetBodyInMemory(bool inMemory) { bodyInMemory = inMemory; }

    // Build the body on first use (worker thread).
    const std::vector<char>& GetBody();
    const std::string& GetContentType();

    // Result setters; each first frees the previous result.
    void SetTextResult(const char* text);  // kind 1, copies up to the NUL
    void SetImageResult(const uint8_t* pixels, int width, int height, uint8_t format);
    void SetDataResult(const void* bytes, int length);
    // The same two kinds taking over the caller's storage: an answer of up to
    // the download cap is then held once, not twice. Text ends at its first
    // NUL; one is added (the only allocation) when there is none.
    void TakeTextResult(std::vector<char>&& text);
    void TakeDataResult(std::vector<char>&& bytes);

    const std::string& GetExtraHeaders() const { return extraHeaders; }
    const std::string& GetUserText() const { return userText; }
    const std::string& GetUrl() const { return url; }
    bool GetUseGet() const { return useGet != 0; }
    bool GetBinaryResult() const { return binaryResult != 0; }
    bool GetForceMultipart() const { return forceMultipart != 0; }
    uint8_t GetState() const { return state.load(); }
    int GetStatusCode() const { return statusCode; }
    int GetResultKind() const { return resultKind; }
    const char* GetResultData() const { return resultData.empty() ? nullptr : resultData.data(); }
    int GetResultLength() const { return resultLength; }
    int GetResultWidth() const { return resultWidth; }
    int GetResultHeight() const { return resultHeight; }
    uint8_t GetResultFormat() const { return resultFormat; }
    const std::vector<std::string>& GetFields() const { return fields; }
    const std::vector<FileData>& GetFiles() const { return files; }
    const std::string& GetSpoolPath() const { return spoolPath; }
    // The multipart body's boundary: random for each body built, and found in
    // none of its names, values or files. Empty for a URL-encoded body.
    const std::string& GetBoundary() const { return boundary; }

    // Removes the spool file once; true when there is none left to remove.
    bool RemoveSpoolFile();

    // Who owns the exchange: the worker claims it before starting, Cancel
    // claims an exchange that has not started. A cancel of a running exchange
    // is only noted; the worker then completes it as cancelled, so nothing
    // touches the request from two threads.
    bool ClaimExchange();          // worker: false when cancelled first
    bool ClaimCancel();            // Cancel: false when the worker runs it
    bool CancelRequested() const { return exchangePhase.load() == kCancelWhileRunning; }

private:
    friend class HTTPConnection;

    void BuildBody();
    // One try at the multipart body with the current boundary. False when a
    // value or file holds the boundary; with `leaveOutClashes` such a part is
    // left out instead.
    bool BuildMultipart(bool related, bool leaveOutClashes);
    void FreeResult();

    std::string extraHeaders;
    std::string userText;
    std::string url;
    std::vector<char> body;
    std::string contentType;
    std::string boundary;
    uint8_t useGet;
    // Written by the completing worker, read by observers on other threads;
    // the 1 -> final step is a compare-exchange so a request completes once.
    std::atomic<uint8_t> state;
    int statusCode;
    int resultKind;
    std::vector<char> resultData;
    int resultLength;
    int resultWidth, resultHeight;
    uint8_t resultFormat;
    CompleteCallback onComplete;
    DownloadCallback onDownloadProgress;
    UploadCallback onUploadProgress;
    uint8_t binaryResult;
    uint8_t forceMultipart;
    uint8_t bodyBuilt;
    std::vector<std::string> fields;  // name, value, name, value ...
    std::vector<FileData> files;
    std::string spoolPath;
    bool spoolRemoved = false;
    size_t answerLimit = 0;
    uint32_t deadlineMs = 0;
    uint32_t minimumRate = 0;
    uint32_t rateWindowMs = 0;
    bool bodyInMemory = false;
    enum Phase : uint8_t { kIdle = 0, kRunning = 1, kCancelledBeforeRun = 2, kCancelWhileRunning = 3 };
    std::atomic<uint8_t> exchangePhase{kIdle};
};

typedef ref_counted_ptr<HTTPRequest> HTTPRequestPtr;
typedef std::vector<HTTPRequestPtr> HTTPRequestPtrVector;
