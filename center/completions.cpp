// The answers of the service's calls and of the IP lookup, read on the worker
// thread that ran the exchange.
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "center/instance.h"
#include "center/ipliteral.h"
#include "center/kovacenter.h"
#include "json/jsonreader.h"
#include "text/encoding.h"
#include "text/uitext.h"
#include "net/httprequest.h"

namespace {

// wParam of a completion that failed while reading its answer: the same as
// for an unreadable answer, so each window already knows what to do.
const int kCompletionFailed = -1;

// "state" as the service writes it: "1", 1 and " 1" all read 1.
int ReadState(const std::string& text) {
    const char* p = text.data();
    int32_t value = 0;
    if (!ReadInt(p, text.data() + text.size(), value)) return kStateUnreadable;
    return value;
}

} // namespace

std::string KovaCenter::ConnectionErrorText(int code) {
    char text[160];
    std::snprintf(text, sizeof text, UiText("無法與伺服器連線 (%d)").c_str(), code);
    return text;
}

int KovaCenter::ReportConnectionError(HTTPRequest* request) {
    const int code = request->GetStatusCode();
    message = ConnectionErrorText(code);
    return code;
}

bool KovaCenter::ParseAnswer(HTTPRequest* request, XMLNode& root, int& code) {
    if (request->GetState() != HTTPRequest::kDone) {
        code = ReportConnectionError(request);
        return false;
    }
    return center_detail::ReadAnswer(request, root, code);
}

bool center_detail::ReadAnswer(HTTPRequest* request, XMLNode& root, int& code) {
    if (request->GetState() != HTTPRequest::kDone) {
        code = request->GetStatusCode();
        return false;
    }
    std::string body;
    if (request->GetResultData() && request->GetResultLength() > 0)
        body.assign(request->GetResultData(), static_cast<size_t>(request->GetResultLength()));
    // Decoding stops at an invalid sequence; what came before it is used.
    std::string text;
    Utf8ToAnsi(body, text);
    if (!ParseJSON(text, root)) return false;
    code = ReadState(root.Child("state").value);
    return true;
}

void KovaCenter::OnUserAuthComplete(HTTPRequest* request) {
    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    if (!self) return;
    std::unique_ptr<SignInAnswer> answer;
    int code = -1;
    try {
        answer.reset(new SignInAnswer);
        XMLNode root;
        if (request->GetState() != HTTPRequest::kDone) {
            code = request->GetStatusCode();
            answer->setsMessage = true;
            answer->message = ConnectionErrorText(code);
        } else if (!center_detail::ReadAnswer(request, root, code)) {
            // Unreadable: the previous text stays.
        } else if (code == 1) {
            if (XMLNode* name = root.FindFirst("name")) answer->custName = name->value;
            if (XMLNode* id = root.FindFirst("id")) answer->custId = id->value;
            // Keep exactly the id and password that were accepted.
            request->GetField("cust_id", answer->custId);
            request->GetField("pwd", answer->password);
            for (XMLNode* node = root.FindFirst("applyList"); node; node = root.FindNext()) {
                answer->applyList.emplace_back();
                ParseApiApply(answer->applyList.back(), *node);
            }
            for (XMLNode* node = root.FindFirst("branchList"); node; node = root.FindNext()) {
                answer->branchList.emplace_back();
                ParseBranch(answer->branchList.back(), *node);
            }
        } else {
            answer->setsMessage = true;
            answer->message = root.Child("message").value;
        }
    } catch (...) {
        // Out of memory while reading the answer, or anything else: the
        // window is still told, as of an unreadable answer.
        code = kCompletionFailed;
        answer.reset(new (std::nothrow) SignInAnswer);
    }
    if (answer) answer->code = code;
    {
        CS_Guard guard(self->answerLock, "kovacenter", __LINE__);
        self->signInAnswer.swap(answer);
    }
    self->Notify(kMsgUserAuth, code);
}

void KovaCenter::OnSignTextComplete(HTTPRequest* request) {
    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    if (!self) return;
    int code = -1;
    try {
        XMLNode root;
        if (self->ParseAnswer(request, root, code)) {
            if (code == 1) ParseSignResult(self->signResult, root);
            self->message = root.Child("message").value;
        }
    } catch (...) {
        code = kCompletionFailed;
    }
    self->Notify(kMsgSignText, code);
}

void KovaCenter::OnApplyComplete(HTTPRequest* request) {
    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    if (!self) return;
    std::unique_ptr<ApplyAnswer> answer;
    int code = -1;
    try {
        answer.reset(new ApplyAnswer);
        XMLNode root;
        if (request->GetState() != HTTPRequest::kDone) {
            code = request->GetStatusCode();
            answer->setsMessage = true;
            answer->message = ConnectionErrorText(code);
        } else if (center_detail::ReadAnswer(request, root, code)) {
            if (code == 1) {
                request->GetField("branch", answer->branch);
                request->GetField("account", answer->account);
                answer->data = std::move(root.Child("data"));
            }
            answer->setsMessage = true;
            answer->message = root.Child("message").value;
        }
    } catch (...) {
        code = kCompletionFailed;
        answer.reset(new (std::nothrow) ApplyAnswer);
    }
    if (answer) answer->code = code;
    {
        CS_Guard guard(self->answerLock, "kovacenter", __LINE__);
        self->applyAnswer.swap(answer);
    }
    self->Notify(kMsgApply, code);
}

void KovaCenter::OnPublicIPComplete(HTTPRequest* request) {
    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    if (!self) return;
    XMLNode root;
    int code = -1;
    if (center_detail::ReadAnswer(request, root, code) && root.Child("status").value == "success") {
        // The echo comes over plain HTTP and the address goes into every
        // sign-in and application body: only an address literal is taken.
        const std::string& address = root.Child("query").value;
        if (IsIPAddressLiteral(address)) {
            code = 1;
            self->SetIPAddress(address);
        } else {
            code = kStateUnreadable;  // as a refused lookup
        }
    }
    self->Notify(kMsgPublicIP, code);
}
