// The connection: accepts requests, keeps the pending ones and reports their
// outcome back into them. HTTPConnectionImp runs each exchange as an
// HTTPRequestTask on a scheduler worker (or at once on the calling thread
// when there is no scheduler).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/httprequest.h"
#include "task/asynctask.h"
#include "task/cslock.h"

class HTTPConnection : public RefCountable {
public:
    struct URLMapping {
        std::string from;
        std::string to;
    };

    HTTPConnection();
    // Releases every pending request (ReleaseAll).
    ~HTTPConnection() override;

    // Registers a request that was never sent: state 1, the first URL mapping
    // whose `from` occurs in the URL rewrites its first occurrence, and the
    // pending list takes a reference. True: the caller's reference passes to
    // the connection, which drops it when the request completes or at
    // ReleaseAll. False (sent before, or refused): this call left nothing
    // pending and the caller keeps its reference.
    virtual bool Send(HTTPRequest* request);
    // False when not pending. A pending request whose exchange has not started
    // completes at once with state 5 and status 0 (its queued task then skips
    // the exchange); one whose exchange runs completes as cancelled when the
    // exchange ends. Holds a reference to the request until it returns.
    virtual bool Cancel(HTTPRequest* request);
    // Drops the list's and the creator's reference of every pending request.
    virtual void ReleaseAll();
    virtual void OnText(HTTPRequest* request, const char* text);
    virtual void OnImage(HTTPRequest* request, const uint8_t* pixels, int width, int height, uint8_t format);
    virtual void OnData(HTTPRequest* request, const void* bytes, int length);
    // Completes a pending request once: sets state and status, calls its
    // callback (without the lock; an exception from it goes no further, as
    // the callback alone can tell its window), removes its spool file, then drops the
    // list's and the creator's reference. A request that is no longer pending
    // (completed or cancelled already) is left alone.
    virtual void OnComplete(HTTPRequest* request, int state, int statusCode);
    virtual void OnDownloadProgress(HTTPRequest* request, int64_t bytesReceived, int64_t contentLength);
    virtual void OnUploadProgress(HTTPRequest* request, int64_t bytesSent, int64_t bytesTotal);
    // OnText and OnData taking over the exchange's buffer instead of copying
    // it. May throw std::bad_alloc (a text's missing NUL).
    virtual void OnTextAnswer(HTTPRequest* request, std::vector<char>&& text);
    virtual void OnDataAnswer(HTTPRequest* request, std::vector<char>&& bytes);

    void AddURLMapping(const std::string& from, const std::string& to);
    bool IsPending(HTTPRequest* request);
    size_t PendingCount();

protected:
    // Undoes the registration of a request whose exchange never started, for
    // a Send that ends refused: back to state 0, off the list. False when a
    // Cancel claimed it first (that Cancel completes it).
    bool Withdraw(HTTPRequest* request);

    HTTPRequestPtrVector pending;
    std::vector<URLMapping> urlMappings;
    CS_Lock lock;
};

class HTTPConnectionImp : public HTTPConnection {
public:
    HTTPConnectionImp() = default;
    ~HTTPConnectionImp() override;
    // Registration, then the exchange as a task: submitted to
    // TaskScheduler::Current(), or run at once here when there is no
    // scheduler. A task the scheduler refuses withdraws the registration and
    // Send returns false, with the caller's reference still the caller's.
    bool Send(HTTPRequest* request) override;
};

// One exchange, run once by the scheduler, which releases it afterwards.
class HTTPRequestTask : public AsyncTask {
public:
    HTTPRequestTask(HTTPConnection* connection, HTTPRequest* request);
    ~HTTPRequestTask() override;
    // The exchange; always reports success (the outcome is in the request).
    bool Run() override;

    // Live tasks in the process, for leak checks.
    static int32_t LiveCount();

private:
    ref_counted_ptr<HTTPConnection> connection;
    HTTPRequestPtr request;
};
