#include "net/httpconnection.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "net/exchange.h"

namespace {

const char kFile[] = "httpconnection";
std::atomic<int32_t> g_liveTasks{0};

HTTPRequestPtrVector::iterator Find(HTTPRequestPtrVector& list, HTTPRequest* request) {
    return std::find_if(list.begin(), list.end(), [request](const HTTPRequestPtr& p) { return p.get() == request; });
}

} // namespace

HTTPConnection::HTTPConnection() : lock(0) {}

HTTPConnection::~HTTPConnection() { HTTPConnection::ReleaseAll(); }

bool HTTPConnection::Send(HTTPRequest* request) {
    if (!request) return false;
    CS_Guard guard(lock, kFile, __LINE__);
    HTTPRequestPtr entry(request);
    if (!entry) return false;  // being destroyed
    // Only a new request: a completed one would never run its exchange again
    // and would stay pending for good.
    uint8_t created = HTTPRequest::kCreated;
    if (!request->state.compare_exchange_strong(created, HTTPRequest::kPending)) return false;
    for (const URLMapping& m : urlMappings) {
        const size_t at = m.from.empty() ? std::string::npos : request->url.find(m.from);
        if (at != std::string::npos) {
            request->url.replace(at, m.from.size(), m.to);
            break;
        }
    }
    pending.push_back(std::move(entry));
    return true;
}

bool HTTPConnection::Cancel(HTTPRequest* request) {
    // A worker may complete and free the request as soon as the lock is left.
    HTTPRequestPtr hold;
    {
        CS_Guard guard(lock, kFile, __LINE__);
        auto it = Find(pending, request);
        if (it == pending.end()) return false;
        hold = *it;
    }
    // An exchange under way is completed by its worker, as cancelled.
    if (request->GetState() == HTTPRequest::kPending && request->ClaimCancel()) {
        OnComplete(request, HTTPRequest::kCancelled, 0);
    }
    return true;
}

bool HTTPConnection::Withdraw(HTTPRequest* request) {
    HTTPRequestPtr entry;
    {
        CS_Guard guard(lock, kFile, __LINE__);
        auto it = Find(pending, request);
        // Cancel decides on the exchange phase as well: whoever claims it
        // first owns the request's end.
        if (it == pending.end() || !request->ClaimCancel()) return false;
        entry = std::move(*it);
        pending.erase(it);
        request->exchangePhase.store(HTTPRequest::kIdle);
        request->state.store(HTTPRequest::kCreated);
    }
    return true;  // `entry` drops the list's reference; the caller's remains
}

void HTTPConnection::ReleaseAll() {
    HTTPRequestPtrVector dropped;
    {
        CS_Guard guard(lock, kFile, __LINE__);
        dropped.swap(pending);
    }
    // Outside the lock: a last reference runs the request's destructor.
    for (HTTPRequestPtr& p : dropped) {
        HTTPRequest* request = p.get();
        p.reset();
        request->Release();  // the creator's reference
    }
}

void HTTPConnection::OnText(HTTPRequest* request, const char* text) { request->SetTextResult(text); }

void HTTPConnection::OnImage(HTTPRequest* request, const uint8_t* pixels, int width, int height, uint8_t format) {
    request->SetImageResult(pixels, width, height, format);
}

void HTTPConnection::OnData(HTTPRequest* request, const void* bytes, int length) {
    request->SetDataResult(bytes, length);
}

void HTTPConnection::OnTextAnswer(HTTPRequest* request, std::vector<char>&& text) {
    request->TakeTextResult(std::move(text));
}

void HTTPConnection::OnDataAnswer(HTTPRequest* request, std::vector<char>&& bytes) {
    request->TakeDataResult(std::move(bytes));
}

void HTTPConnection::OnComplete(HTTPRequest* request, int state, int statusCode) {
    // The worker and Cancel may both complete a request: only the first one
    // runs the callback and drops the references.
    uint8_t expected = HTTPRequest::kPending;
    if (!request->state.compare_exchange_strong(expected, static_cast<uint8_t>(state))) return;
    request->statusCode = statusCode;
    // The state is final already, so a throwing callback must not stop the
    // clean-up below: a second OnComplete would find nothing left to do.
    try {
        if (request->onComplete) request->onComplete(request);
    } catch (...) {
    }
    request->RemoveSpoolFile();

    HTTPRequestPtr entry;
    bool wasPending = false;
    {
        CS_Guard guard(lock, kFile, __LINE__);
        auto it = Find(pending, request);
        if (it != pending.end()) {
            entry = std::move(*it);
            pending.erase(it);
            wasPending = true;
        }
    }
    entry.reset();
    if (wasPending) request->Release();  // the creator's reference
}

void HTTPConnection::OnDownloadProgress(HTTPRequest* request, int64_t bytesReceived, int64_t contentLength) {
    if (request->onDownloadProgress) request->onDownloadProgress(request, bytesReceived, contentLength);
}

void HTTPConnection::OnUploadProgress(HTTPRequest* request, int64_t bytesSent, int64_t bytesTotal) {
    if (request->onUploadProgress) request->onUploadProgress(request, bytesSent, bytesTotal);
}

void HTTPConnection::AddURLMapping(const std::string& from, const std::string& to) {
    CS_Guard guard(lock, kFile, __LINE__);
    urlMappings.push_back(URLMapping{from, to});
}

bool HTTPConnection::IsPending(HTTPRequest* request) {
    CS_Guard guard(lock, kFile, __LINE__);
    return Find(pending, request) != pending.end();
}

size_t HTTPConnection::PendingCount() {
    CS_Guard guard(lock, kFile, __LINE__);
    return pending.size();
}

// ---- HTTPConnectionImp -----------------------------------------------------

HTTPConnectionImp::~HTTPConnectionImp() { ReleaseAll(); }

bool HTTPConnectionImp::Send(HTTPRequest* request) {
    if (!HTTPConnection::Send(request)) return false;
    HTTPRequestTask* task = new HTTPRequestTask(this, request);
    TaskScheduler* scheduler = TaskScheduler::Current();
    if (scheduler) {
        if (task->Schedule(scheduler)) return true;
        // Refused: nobody else will drop the creator's reference of the task,
        // and the request goes back to its caller, who releases it.
        task->Release();
        return !Withdraw(request);
    }
    task->lock.Lock(kFile, __LINE__);
    const bool result = task->Run();
    task->lock.Unlock();
    task->Release();
    return result;
}

// ---- HTTPRequestTask -------------------------------------------------------

HTTPRequestTask::HTTPRequestTask(HTTPConnection* connection_, HTTPRequest* request_)
    : connection(connection_), request(request_) {
    autoRelease = true;
    runCount = 1;
    g_liveTasks.fetch_add(1);
}

HTTPRequestTask::~HTTPRequestTask() { g_liveTasks.fetch_sub(1); }

int32_t HTTPRequestTask::LiveCount() { return g_liveTasks.load(); }

bool HTTPRequestTask::Run() {
    // Cancelled while queued: the request has completed already.
    if (connection && request && request->GetState() == HTTPRequest::kPending && request->ClaimExchange()) {
        try {
            net::RunExchange(*connection, *request);
        } catch (...) {
            // Out of memory outside the answer (which fails by itself), or
            // anything else: on a worker an escaping exception would end the
            // process. A request that completed already is left alone by
            // OnComplete.
            connection->OnComplete(request.get(), HTTPRequest::kFailed, 0);
        }
    }
    return true;
}
