// The three calls of the service under /kovaapp/api: userAuth, signText, apply.
#include "handlers.h"

#include <cstdio>

#include "answer.h"
#include "clock.h"
#include "pkcs12.h"
#include "records_json.h"
#include "seed.h"

namespace kovasvc {
namespace {

// Field limits. The whole body is capped by the server (kMaxBody); these keep
// each value to what a sane client sends.
constexpr size_t kMaxId = 32;
constexpr size_t kMaxPassword = 256;
constexpr size_t kMaxIp = 64;
constexpr size_t kMaxNumber = 32;
constexpr size_t kMaxSignText = 4096;
constexpr size_t kMaxPfx = 64 * 1024;

const char kLoginRefused[] = "身分證字號或密碼錯誤";
const char kSignInLocked[] = "密碼錯誤次數過多，請一分鐘後再試";

// Opens the uploaded certificate and checks it came from the local CA; on a
// refusal answers it and returns false.
bool OpenTrustedPfx(ServiceContext& ctx, httplib::Response& res, const std::string& der,
                    const std::string& password, PfxIdentity& id) {
    switch (OpenPfx(der, password, id)) {
    case PfxStatus::Ok: break;
    case PfxStatus::NotPkcs12: SendRefusal(res, kStateCertificateRefused, "憑證檔案格式錯誤，無法開啟"); return false;
    case PfxStatus::WrongPassword: SendRefusal(res, kStateCertificateRefused, "憑證密碼錯誤"); return false;
    case PfxStatus::NoKey: SendRefusal(res, kStateCertificateRefused, "憑證檔案中沒有可用的私鑰"); return false;
    }
    if (!IssuedByCa(id.cert.get(), ctx.caPath)) {
        SendRefusal(res, kStateCertificateRefused, "憑證非本公司核發或已過期");
        return false;
    }
    return true;
}

void UserAuth(ServiceContext& ctx, const httplib::Request& req, httplib::Response& res) {
    std::string custId, pwd, ipaddr;
    if (!RequireForm(req, res) || !FormField(req, res, "cust_id", kMaxId, custId) ||
        !FormField(req, res, "pwd", kMaxPassword, pwd) || !FormField(req, res, "ipaddr", kMaxIp, ipaddr) ||
        !CheckText(res, "cust_id", custId) || !CheckText(res, "ipaddr", ipaddr))
        return;
    // Who tried to sign in (never the password): the end-to-end tests read it.
    std::fprintf(stderr, "userAuth cust_id=%s\n", DumpJson(Json(custId)).c_str());
    // Checked before the password, so a locked ID costs no hashing and
    // reveals nothing; requests already past this point may still fail.
    if (ctx.signIns.Locked(custId)) {
        SendRefusal(res, kStateLoginRefused, kSignInLocked);
        return;
    }
    // Matched in either case, as the operator does; answered as kept.
    std::optional<Customer> customer = ctx.store.FindCustomer(custId);
    if (!customer) {
        // Same work as a real check, so the answer time does not tell which IDs exist.
        PasswordHash dummy;
        HashPassword(pwd, kDefaultIterations, dummy);
        ctx.signIns.Failed(custId);
        SendRefusal(res, kStateLoginRefused, kLoginRefused);
        return;
    }
    if (!VerifyPassword(pwd, customer->password)) {
        ctx.signIns.Failed(custId);
        SendRefusal(res, kStateLoginRefused, kLoginRefused);
        return;
    }
    ctx.signIns.Succeeded(custId);
    Json body;
    body["name"] = customer->name;
    body["id"] = customer->id;
    body["applyList"] = Json::array();
    for (const auto& a : ctx.store.Accounts(customer->id)) body["applyList"].push_back(AccountJson(a));
    body["branchList"] = Json::array();
    for (const auto& b : ctx.store.Branches()) body["branchList"].push_back(BranchJson(b));
    SendOk(res, std::move(body), "登入成功");
}

void SignText(ServiceContext& ctx, const httplib::Request& req, httplib::Response& res) {
    std::string text, pwd, pfx;
    if (!RequireMultipart(req, res) || !PartField(req, res, "text", kMaxSignText, text) ||
        !PartField(req, res, "pwd", kMaxPassword, pwd) || !PartField(req, res, "pfxFile", kMaxPfx, pfx))
        return;
    if (text.empty()) {
        SendError(res, 400, "missing_field", "缺少欄位：text");
        return;
    }
    if (!IsValidUtf8(text)) {
        SendError(res, 400, "invalid_text", "欄位不是有效的 UTF-8 文字：text");
        return;
    }
    PfxIdentity id;
    if (!OpenTrustedPfx(ctx, res, pfx, pwd, id)) return;
    std::string signature;
    if (!SignSha256(id.key.get(), text, signature)) {
        SendError(res, 500, "sign_failed", "簽章失敗，請稍後再試");
        return;
    }
    SendOk(res,
           Json{{"signature", signature}, {"alias", id.alias}, {"serial", id.serialHex}, {"subject_cn", id.subjectCn}},
           "簽章成功");
}

void Apply(ServiceContext& ctx, const httplib::Request& req, httplib::Response& res) {
    Application app;
    std::string pwd, pfx;
    if (!RequireMultipart(req, res) || !PartField(req, res, "cust_id", kMaxId, app.custId) ||
        !PartField(req, res, "branch", kMaxNumber, app.branch) ||
        !PartField(req, res, "account", kMaxNumber, app.account) ||
        !PartField(req, res, "ipaddr", kMaxIp, app.ipaddr) || !PartField(req, res, "pwd", kMaxPassword, pwd) ||
        !PartField(req, res, "pfxFile", kMaxPfx, pfx) || !CheckText(res, "cust_id", app.custId) ||
        !CheckText(res, "branch", app.branch) || !CheckText(res, "account", app.account) ||
        !CheckText(res, "ipaddr", app.ipaddr))
        return;
    // The parts that arrived, by name (values stay out): the end-to-end tests
    // read it to see that nothing was smuggled into the body.
    std::string parts;
    for (const auto& part : req.files) parts += (parts.empty() ? "" : ",") + DumpJson(Json(part.first));
    std::fprintf(stderr, "apply parts=[%s]\n", parts.c_str());
    PfxIdentity id;
    if (!OpenTrustedPfx(ctx, res, pfx, pwd, id)) return;
    if (id.subjectCn != app.custId) {
        SendRefusal(res, kStateCertificateRefused, "憑證持有人與申請人不符");
        return;
    }
    app.serial = id.serialHex;
    app.subjectCn = id.subjectCn;
    app.peer = req.remote_addr;
    app.received = NowText();
    Account updated;
    switch (ctx.store.Apply(app, updated)) {
    case ApplyOutcome::Ok: break;
    case ApplyOutcome::NoCustomer: SendRefusal(res, kStateApplyRefused, "查無此客戶資料"); return;
    case ApplyOutcome::NoAccount: SendRefusal(res, kStateApplyRefused, "查無此帳號，或帳號不屬於申請人"); return;
    case ApplyOutcome::RiskUnsigned:
        SendRefusal(res, kStateApplyRefused, "尚未簽署API風險預告書，無法申請");
        return;
    case ApplyOutcome::AlreadyEnabled: SendRefusal(res, kStateApplyRefused, "此帳號已開通API權限"); return;
    case ApplyOutcome::UnderReview: SendRefusal(res, kStateApplyRefused, "此帳號的API權限申請正在審核中"); return;
    case ApplyOutcome::Failed: SendError(res, 500, "server_error", "伺服器發生錯誤，請稍後再試"); return;
    }
    Json data{{"APIStus", updated.APIStus}, {"CertiSeno", updated.CertiSeno}, {"CertiDate", updated.CertiDate},
              {"CustIP", updated.CustIP}, {"UptDate", updated.UptDate}};
    SendOk(res, Json{{"data", std::move(data)}}, "申請已送出，請等候審核");
}

} // namespace

void RegisterApi(httplib::Server& server, ServiceContext& ctx) {
    Route(server, ctx, "/kovaapp/api/userAuth.do", "POST", UserAuth);
    Route(server, ctx, "/kovaapp/api/signText.do", "POST", SignText);
    Route(server, ctx, "/kovaapp/api/apply.do", "POST", Apply);
}

} // namespace kovasvc
