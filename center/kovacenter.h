// KovaCenter: the one object that knows the operator's web service. It holds
// the sign-in state, builds each call as an HTTPRequest, sends it through the
// connection and, on the worker thread that ran it, reads the answer, stores
// what it carries and posts one completion message to the notify window.
//
// Fields are not locked: the posted message is the hand-over. The sign-in and
// apply completions do not even write them: the list window paints the
// records at any moment, so those answers wait, read whole, until the GUI
// thread takes them in (TakeAnswer) when their message arrives. Two fields
// cross threads outside the hand-over: the IP address (written by a
// background lookup, read whenever a call is built; behind its own lock) and
// the notify windows (written by calls, read by completions; atomic). The program-wide
// instance pointer is guarded, and every completion runs under that guard, so
// destroying the instance waits for a completion under way and later
// completions find no instance and do nothing. The download completion alone
// leaves the guard while it writes the file, then takes it again.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "center/kovacenter_records.h"
#include "json/xmlnode.h"
#include "platform/notify.h"
#include "platform/platform.h"
#include "task/cslock.h"

// <windows.h> renames GetMessage; the accessor keeps its own name. Windows
// code that includes this header calls GetMessageW explicitly.
#ifdef GetMessage
#undef GetMessage
#endif

class HTTPConnection;
class HTTPRequest;

// Completion messages (WM_USER and fixed offsets; WM_USER + 2 is unused).
enum KovaMessage : unsigned {
    kMsgUserAuth = 0x0400,
    kMsgSignText = 0x0401,
    kMsgApply = 0x0403,
    kMsgPublicIP = 0x0404,
    kMsgUpdateOffered = 0x0405,
    kMsgUpdateDownloaded = 0x0406,
};

// Result code of a parsed answer whose "state" is missing or does not begin
// with a number. Not 0, which means "no HTTP answer", and not -1 (unreadable
// JSON), so that such an answer is told apart from both.
const int kStateUnreadable = -2;

// A PKCS#12 file is a few KiB; anything larger is not a certificate.
const int kMaxCertificateBytes = 1024 * 1024;

// The configured origins (configure-time constants; no runtime setting).
const char* ServiceOrigin();  // "https://host[:port]"
const char* IPEchoOrigin();   // "http://host[:port]"

class KovaCenter : public KovaCenterRecords {
public:
    explicit KovaCenter(HTTPConnection* connection);
    virtual ~KovaCenter();
    KovaCenter(const KovaCenter&) = delete;
    KovaCenter& operator=(const KovaCenter&) = delete;

    // The registered instance; null before construction and after destruction.
    // For the GUI thread (completions reach it under the instance guard).
    static KovaCenter* Instance();

    void QueryPublicIP();
    bool CheckVersion(platform::WindowHandle window);
    bool DownloadUpdate(const std::string& targetPath, platform::WindowHandle window);
    bool UserAuth(const std::string& id, const std::string& pwd, platform::WindowHandle window);
    // The sign-in again with the stored ID and password. Unless it succeeds,
    // the sign-in state and the lists stay as they were.
    bool Relogin(platform::WindowHandle window);
    // `pfxFile`, here and in Apply, is the certificate's path in UTF-8 (the
    // windows keep what the file dialog chose, which code page 950 may not
    // spell); it is opened by that name. A file over kMaxCertificateBytes is
    // refused as an unreadable one; the body carrying it and its password is
    // built in memory, never in a spool file.
    bool SignText(const std::string& text, const std::string& pfxPwd, const std::string& pfxFile,
                  platform::WindowHandle window);
    // Applies for the account `record` names (its CustID, BranchNo and
    // Account are sent; the stored record is found again by the last two when
    // the answer is taken in). When nothing could be sent, `message` says why.
    bool Apply(const ApiApply& record, const std::string& pfxPwd, const std::string& pfxFile,
               platform::WindowHandle window);
    // On the GUI thread, when kMsgUserAuth or kMsgApply arrives and before the
    // fields are read: moves the answer its completion read into them. False
    // for other messages, or when no answer waits.
    bool TakeAnswer(unsigned message);
    // Forgets the customer; the password and the certificate's password are
    // wiped, as they are when the center is destroyed.
    void Logout();
    // Runs at the end of every Logout, on the GUI thread: a test build's look
    // at what the log-out left behind. None by default.
    typedef void (*LogoutHook)();
    static void SetLogoutHook(LogoutHook hook) { logoutHook = hook; }
    // Credentials live only in memory: neither reads nor writes anything.
    bool LoadSettings(const std::string& path);
    bool SaveSettings();

    bool IsNewerVersion() const;
    // True when `candidate` names a higher version than `than` (base-100
    // weights of their pieces); false when `candidate` is empty.
    static bool IsNewer(const std::string& candidate, const std::string& than);

    // Decides, on the worker, whether a download written whole to `path` may
    // be kept. Without one no download is ever kept. Set before the first
    // version check; the program sets its publisher check.
    typedef bool (*UpdateCheck)(const std::string& path);
    static void SetUpdateCheck(UpdateCheck check) { updateCheck.store(check); }

    std::string GetMessage() const { return message; }
    // The address the IP lookup found (written on a worker); empty until known.
    std::string GetIPAddress() const;
    void SetIPAddress(const std::string& address);
    SignResult GetSignResult() const { return signResult; }
    std::string GetUpdateFile() const { return updateFile; }
    std::string GetVersionText() const { return "v" + version; }

    // Lookups over the center's own lists.
    ApiApply* FindApiApply(const std::string& branch, const std::string& account) {
        return KovaCenterRecords::FindApiApply(applyList, branch, account);
    }
    const Branch* FindBranch(const std::string& number) const {
        return KovaCenterRecords::FindBranch(branchList, number);
    }
    std::string GetBranchName(const ApiApply& record) const {
        return KovaCenterRecords::GetBranchName(branchList, record);
    }

    // The first step of the service calls' completions: false when the
    // exchange failed (message and code from ReportConnectionError) or the
    // body is not JSON (code stays -1); otherwise `code` is the answer's
    // "state". Background completions read their answers without it, so
    // that they never touch `message`.
    bool ParseAnswer(HTTPRequest* request, XMLNode& root, int& code);
    int ReportConnectionError(HTTPRequest* request);

    // Completion routines (worker thread).
    static void OnUserAuthComplete(HTTPRequest* request);
    static void OnSignTextComplete(HTTPRequest* request);
    static void OnApplyComplete(HTTPRequest* request);
    static void OnPublicIPComplete(HTTPRequest* request);
    static void OnManifestComplete(HTTPRequest* request);
    static void OnDownloadComplete(HTTPRequest* request);

    std::string custName;
    std::vector<ApiApply> applyList;
    std::vector<Branch> branchList;
    std::string custId;
    std::string password;
    std::string pfxPath;  // UTF-8, unlike the other texts: see SignText
    std::string pfxPassword;
    uint8_t loginState;  // 0 never, 1 sent, 2 authenticated, 3 failed
    SignResult signResult;
    std::string version;
    std::string serverVersion;
    std::string updateUrl;
    std::string updateFile;
    // A version whose installation failed on this PC: neither it nor an older
    // one is offered. Empty when none did.
    std::string refusedVersion;
    HTTPConnection* connection;  // not owned
    std::string message;
    // Set on the GUI thread, read by the service calls' completions.
    std::atomic<platform::WindowHandle> notifyWindow;
    // The same for the version check and the download: their messages reach
    // the window that asked, whatever calls other windows make meanwhile.
    std::atomic<platform::WindowHandle> updateWindow;

private:
    // A sign-in or apply answer, read on the worker, waiting for TakeAnswer.
    struct SignInAnswer {
        ~SignInAnswer() { platform::WipeString(password); }
        int code = 0;
        bool setsMessage = false;
        std::string message, custName, custId, password;
        std::vector<ApiApply> applyList;
        std::vector<Branch> branchList;
    };
    struct ApplyAnswer {
        int code = 0;
        bool setsMessage = false;
        std::string message, branch, account;
        XMLNode data;
    };
    bool SendUserAuth(const std::string& id, const std::string& pwd, platform::WindowHandle window, bool reload);
    // The text of a failed exchange, as ReportConnectionError writes it.
    static std::string ConnectionErrorText(int code);

    // False, with the request released, when the connection refused it.
    bool SendRequest(HTTPRequest* request);
    void Notify(unsigned msg, intptr_t wParam) { platform::PostNotify(notifyWindow.load(), msg, wParam); }
    void NotifyUpdate(unsigned msg, intptr_t wParam) { platform::PostNotify(updateWindow.load(), msg, wParam); }

    static std::atomic<UpdateCheck> updateCheck;
    static LogoutHook logoutHook;

    mutable CS_Lock ipLock;
    std::string ipAddress;
    // The answers waiting, one of each kind: their calls never overlap.
    CS_Lock answerLock;
    std::unique_ptr<SignInAnswer> signInAnswer;
    std::unique_ptr<ApplyAnswer> applyAnswer;
    bool reloading = false;  // the sign-in out is a Relogin (GUI thread only)
};
