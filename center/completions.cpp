// The answers of the service's calls and of the IP lookup, read on the worker
// thread that ran the exchange.
#include <cstdio>

#include "center/instance.h"
#include "center/kovacenter.h"
#include "text/encoding.h"
#include "text/uitext.h"
#include "net/httprequest.h"

namespace {

// "state" as the service writes it: "1", 1 and " 1" all read 1.
int ReadState(const std::string& text) {
    const char* p = text.data();
    int32_t value = 0;
    if (!ReadInt(p, text.data() + text.size(), value)) return kStateUnreadable;
    return value;
}

} // namespace

int KovaCenter::ReportConnectionError(HTTPRequest* request) {
    const int code = request->GetStatusCode();
    char text[160];
    std::snprintf(text, sizeof text, UiText("無法與伺服器連線 (%d)").c_str(), code);
    message = text;
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
    XMLNode root;
    int code = -1;
    if (!self->ParseAnswer(request, root, code)) {
        self->loginState = 3;
    } else if (code == 1) {
        self->loginState = 2;
        if (XMLNode* name = root.FindFirst("name")) self->custName = name->value;
        if (XMLNode* id = root.FindFirst("id")) self->custId = id->value;
        // Keep exactly the id and password that were accepted.
        request->GetField("cust_id", self->custId);
        request->GetField("pwd", self->password);
        self->applyList.clear();
        for (XMLNode* node = root.FindFirst("applyList"); node; node = root.FindNext()) {
            ApiApply record;
            ParseApiApply(record, *node);
            self->applyList.push_back(record);
        }
        self->branchList.clear();
        for (XMLNode* node = root.FindFirst("branchList"); node; node = root.FindNext()) {
            Branch record;
            ParseBranch(record, *node);
            self->branchList.push_back(record);
        }
    } else {
        self->loginState = 3;
        self->message = root.Child("message").value;
    }
    self->Notify(kMsgUserAuth, code);
}

void KovaCenter::OnSignTextComplete(HTTPRequest* request) {
    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    if (!self) return;
    XMLNode root;
    int code = -1;
    if (self->ParseAnswer(request, root, code)) {
        if (code == 1) ParseSignResult(self->signResult, root);
        self->message = root.Child("message").value;
    }
    self->Notify(kMsgSignText, code);
}

void KovaCenter::OnApplyComplete(HTTPRequest* request) {
    center_detail::CompletionScope scope;
    KovaCenter* self = scope.center;
    if (!self) return;
    XMLNode root;
    int code = -1;
    if (self->ParseAnswer(request, root, code)) {
        if (code == 1) {
            std::string branch, account;
            request->GetField("branch", branch);
            request->GetField("account", account);
            if (ApiApply* record = self->FindApiApply(branch, account)) ParseApiApply(*record, root.Child("data"));
        }
        self->message = root.Child("message").value;
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
        code = 1;
        self->SetIPAddress(root.Child("query").value);
    }
    self->Notify(kMsgPublicIP, code);
}
