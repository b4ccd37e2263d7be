// The exchange: one request performed with blocking calls on the worker
// thread, its answer stored through the connection's setters and the request
// completed. exchange_wininet.cpp (Windows) and exchange_curl.cpp (Linux)
// implement the same steps; exchangesteps.h holds what they share.
#pragma once

class HTTPConnection;
class HTTPRequest;

namespace net {

// Always completes the request (OnComplete), whatever fails.
void RunExchange(HTTPConnection& connection, HTTPRequest& request);

// Shut-down: makes every exchange under way, and every later one, fail at
// its next block of data instead of running to its end. Irreversible for the
// process, except through ResetAbortForTests.
void AbortOpenExchanges();
bool ExchangesAborted();
void ResetAbortForTests();

} // namespace net
