#include "center/kovacenter.h"

#include <atomic>

#include "center/instance.h"
#include "center/programversion.h"
#include "text/uitext.h"
#include "text/encoding.h"
#include "net/httpconnection.h"
#include "net/httprequest.h"

namespace center_detail {

CS_Lock& InstanceLock() {
    static CS_Lock* lock = new CS_Lock(0);  // outlives every worker
    return *lock;
}

KovaCenter* g_instance = nullptr;
uint32_t g_serial = 0;

CompletionScope::CompletionScope() {
    InstanceLock().Lock("kovacenter", __LINE__);
    center = g_instance;
    serial = g_serial;
}

CompletionScope::~CompletionScope() { InstanceLock().Unlock(); }

} // namespace center_detail

using center_detail::g_instance;
using center_detail::InstanceLock;

namespace {

const char kApiPath[] = "/kovaapp/api";

// The certificate part of SignText and Apply. The body then stays in memory:
// the certificate and its password never reach the disk.
bool AddCertificate(HTTPRequest* request, const std::string& pfxFile) {
    HTTPRequest::FileData added;
    if (!request->AddFile("pfxFile", pfxFile, false, &added) || added.size > kMaxCertificateBytes) return false;
    request->SetBodyInMemory(true);
    return true;
}

std::string ApiUrl(const char* call) { return std::string(ServiceOrigin()) + kApiPath + call; }

} // namespace

const char* ServiceOrigin() { return KOVA_SERVICE_ORIGIN; }
const char* IPEchoOrigin() { return KOVA_IPECHO_ORIGIN; }

KovaCenter::KovaCenter(HTTPConnection* connection_)
    : loginState(0),
      version(ProgramVersion()),
      connection(connection_),
      notifyWindow(nullptr),
      updateWindow(nullptr),
      ipLock(0),
      answerLock(0) {
    CS_Guard guard(InstanceLock(), "kovacenter", __LINE__);
    g_instance = this;
    ++center_detail::g_serial;
}

KovaCenter::LogoutHook KovaCenter::logoutHook = nullptr;

KovaCenter::~KovaCenter() {
    {
        // Waits for a completion under way; later ones find no instance.
        CS_Guard guard(InstanceLock(), "kovacenter", __LINE__);
        if (g_instance == this) g_instance = nullptr;
    }
    platform::WipeString(password);
    platform::WipeString(pfxPassword);
}

KovaCenter* KovaCenter::Instance() {
    CS_Guard guard(InstanceLock(), "kovacenter", __LINE__);
    return g_instance;
}

std::string KovaCenter::GetIPAddress() const {
    CS_Guard guard(ipLock, "kovacenter", __LINE__);
    return ipAddress;
}

void KovaCenter::SetIPAddress(const std::string& address) {
    CS_Guard guard(ipLock, "kovacenter", __LINE__);
    ipAddress = address;
}

bool KovaCenter::SendRequest(HTTPRequest* request) {
    if (connection && connection->Send(request)) return true;
    // Refused: the request is not pending and the creator's reference is
    // still ours.
    request->Release();
    return false;
}

void KovaCenter::QueryPublicIP() {
    HTTPRequest* request = new HTTPRequest(std::string(IPEchoOrigin()) + "/json", HTTPRequest::kGet);
    request->SetCallback(&KovaCenter::OnPublicIPComplete);
    // Plain HTTP: anyone on the way may answer, with anything. The real
    // answer is a few dozen bytes.
    request->SetAnswerLimit(4096);
    SendRequest(request);
}

bool KovaCenter::UserAuth(const std::string& id, const std::string& pwd, platform::WindowHandle window) {
    return SendUserAuth(id, pwd, window, false);
}

bool KovaCenter::Relogin(platform::WindowHandle window) {
    if (custId.empty() || password.empty()) return false;
    // Copies: the answer rewrites both fields when it is taken in.
    const std::string id = custId;
    std::string pwd = password;
    const bool sent = SendUserAuth(id, pwd, window, true);
    platform::WipeString(pwd);
    return sent;
}

bool KovaCenter::SendUserAuth(const std::string& id, const std::string& pwd, platform::WindowHandle window,
                              bool reload) {
    if (id.empty() || pwd.empty()) return false;
    HTTPRequest* request = new HTTPRequest(ApiUrl("/userAuth.do"));
    request->AddField("cust_id", id, false);
    request->AddField("pwd", pwd, false);
    request->AddField("ipaddr", GetIPAddress(), false);
    request->SetCallback(&KovaCenter::OnUserAuthComplete);
    // Set before sending: a completion, however fast, finds both in place.
    notifyWindow = window;
    reloading = reload;
    // A reload leaves the signed-in state alone: the list stays usable
    // whatever its answer.
    if (!reload) loginState = 1;
    return SendRequest(request);
}

bool KovaCenter::SignText(const std::string& text, const std::string& pfxPwd, const std::string& pfxFile,
                          platform::WindowHandle window) {
    if (text.empty() || pfxPwd.empty() || pfxFile.empty()) return false;
    HTTPRequest* request = new HTTPRequest(ApiUrl("/signText.do"));
    request->AddField("text", AnsiToUtf8(text), false);
    request->AddField("pwd", pfxPwd, false);
    if (!AddCertificate(request, pfxFile)) {
        // An unreadable certificate file sends nothing.
        request->Release();
        return false;
    }
    request->SetCallback(&KovaCenter::OnSignTextComplete);
    notifyWindow = window;
    return SendRequest(request);
}

bool KovaCenter::Apply(const ApiApply& record, const std::string& pfxPwd, const std::string& pfxFile,
                       platform::WindowHandle window) {
    if (pfxPwd.empty() || pfxFile.empty()) return false;
    if (loginState != 2) {
        message = UiText("請重新登入");
        return false;
    }
    HTTPRequest* request = new HTTPRequest(ApiUrl("/apply.do"));
    request->AddField("cust_id", record.CustID, false);
    request->AddField("branch", record.BranchNo, false);
    request->AddField("account", record.Account, false);
    request->AddField("ipaddr", GetIPAddress(), false);
    request->AddField("pwd", pfxPwd, false);
    if (!AddCertificate(request, pfxFile)) {
        request->Release();
        message = UiText("憑證路徑有誤");
        return false;
    }
    request->SetCallback(&KovaCenter::OnApplyComplete);
    notifyWindow = window;
    if (SendRequest(request)) return true;
    message = ConnectionErrorText(0);
    return false;
}

namespace {

// Empties a completion's slot under its lock; null when nothing waits.
template <class Answer>
std::unique_ptr<Answer> TakeSlot(CS_Lock& lock, std::unique_ptr<Answer>& slot) {
    std::unique_ptr<Answer> answer;
    CS_Guard guard(lock, "kovacenter", __LINE__);
    answer.swap(slot);
    return answer;
}

} // namespace

bool KovaCenter::TakeAnswer(unsigned msg) {
    if (msg == kMsgUserAuth) {
        std::unique_ptr<SignInAnswer> answer = TakeSlot(answerLock, signInAnswer);
        if (!answer) return false;
        if (answer->setsMessage) message = answer->message;
        if (answer->code == 1) {
            loginState = 2;
            custName = answer->custName;
            custId = answer->custId;
            platform::WipeString(password);  // a longer value would free the old storage unwiped
            password = answer->password;
            applyList.swap(answer->applyList);
            branchList.swap(answer->branchList);
        } else if (!reloading) {
            loginState = 3;
        }
        return true;
    }
    if (msg == kMsgApply) {
        std::unique_ptr<ApplyAnswer> answer = TakeSlot(answerLock, applyAnswer);
        if (!answer) return false;
        if (answer->setsMessage) message = answer->message;
        if (answer->code == 1) {
            if (ApiApply* record = FindApiApply(answer->branch, answer->account)) ParseApiApply(*record, answer->data);
        }
        return true;
    }
    return false;
}

void KovaCenter::Logout() {
    custId.clear();
    platform::WipeString(password);
    pfxPath.clear();
    platform::WipeString(pfxPassword);
    SaveSettings();
    if (logoutHook) logoutHook();
}

bool KovaCenter::LoadSettings(const std::string&) { return false; }

bool KovaCenter::SaveSettings() { return false; }
