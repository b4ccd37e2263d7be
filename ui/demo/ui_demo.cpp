// ui_demo FACE: shows one face (login, list, submit, confirm) as a borderless
// window with the framework's controls, prints its events on stdout and takes
// commands on stdin (dim, undim, where, state, restore, modal, throw, quit,
// caption I TEXT: the text of the face's I-th text label, as a reference
// rendering for the program's own labels).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "text/uitext.h"
#include "ui/application.h"
#include "ui/demo/demo_form.h"

namespace demo {
namespace {

const ui::Colour kWhite = ui::MakeColour(255, 255, 255);
const ui::Colour kError = ui::MakeColour(245, 173, 19);
const ui::Colour kGrey = ui::MakeColour(128, 128, 128);
const char kTitle[] = "KOVA API權限申請暨環境使用驗證服務";

const FaceLayout kFaces[] = {
    {"login", L"LOGIN_FACE", 1280, 798, kTitle, ui::WindowDrag::WithFlag, true, false,
     {{"*帳號或密碼錯誤", 746, 455, 16, kError, false, false}, {"v" KOVA_VERSION, 32, 752, 16, kWhite, false, false}},
     {{"FolderImage", L"FOLDER_ICON", 1116, 353, 32, 32},
      {"EyeShown", L"EYE_SHOWN_ICON", 1116, 413, 32, 32},
      {"EyeHidden", L"EYE_HIDDEN_ICON", 1116, 413, 32, 32}},
     {{"LoginLabel", 741, 553, 406, 46, Action::Log},
      {"MoreLabel", 91, 227, 251, 42, Action::Log},
      {"FAQLabel", 600, 709, 83, 28, Action::Log},
      {"RiskSignLabel", 713, 709, 169, 28, Action::Log},
      {"CertSignLabel", 912, 709, 97, 28, Action::Log},
      {"FindPwdLabel", 1036, 709, 86, 28, Action::Log},
      {"MinimizeLabel", 1202, 7, 32, 32, Action::Minimize},
      {"CloseLabel", 1240, 8, 32, 32, Action::Close}},
     {{"IDEdit", 877, 236, 225, 28, "請輸入身分證字號", 10, false},
      {"PwdEdit", 877, 296, 225, 28, "請輸入登入密碼", 20, true},
      {"PFXPathEdit", 877, 356, 225, 28, "請選擇憑證PFX路徑", 0, false},
      {"PFXPwdEdit", 877, 416, 225, 28, "請輸入憑證密碼", 20, true}},
     false},
    {"list", L"LIST_FACE", 1280, 798, kTitle, ui::WindowDrag::WhileLeftHeld, true, false,
     {{"A12345****", 272, 149, 21, kWhite, true, true}},
     {{"ReloadBtn", L"RELOAD_ICON", 296, 179, 100, 32}},
     {{"RiskSignLabel", 672, 606, 86, 25, Action::Log},
      {"DocumentLabel", 402, 631, 106, 23, Action::Log},
      {"FAQLabel", 359, 724, 91, 28, Action::Log},
      {"RiskCertLabel2", 480, 725, 190, 28, Action::Log},
      {"LogoutLabel", 707, 717, 156, 46, Action::Log},
      {"MinimizeLabel", 1203, 8, 32, 32, Action::Minimize},
      {"CloseLabel", 1240, 8, 32, 32, Action::Close}},
     {},
     true},
    {"submit", L"SUBMIT_FACE", 500, 620, "送出申請確認", ui::WindowDrag::WithFlag, false, true,
     {{"證券", 186, 176, 16, kGrey, true, true},
      {"台北分公司", 186, 235, 16, kGrey, true, true},
      {"1234567", 186, 297, 16, kGrey, true, true},
      {"", 42, 456, 16, kError, false, false}},
     {{"FolderImage", L"FOLDER_ICON", 420, 353, 30, 30},
      {"EyeShown", L"EYE_SHOWN_ICON", 420, 413, 30, 30},
      {"EyeHidden", L"EYE_HIDDEN_ICON", 420, 413, 30, 30}},
     {{"SubmitLabel", 262, 541, 217, 47, Action::ModalOk},
      {"CancelLabel", 22, 541, 217, 47, Action::Close},
      {"CloseLabel", 460, 7, 32, 32, Action::Close}},
     {{"PFXPathEdit", 184, 353, 225, 30, "請選擇PFX憑證路徑", 0, false},
      {"PFXPwdEdit", 184, 413, 225, 30, "請輸入憑證密碼", 16, true}},
     false},
    {"confirm", L"CONFIRM_FACE", 480, 520, "送出申請確認", ui::WindowDrag::WhileLeftHeld, false, true,
     {},
     {},
     {{"OKLabel", 30, 436, 425, 47, Action::Close}, {"CloseLabel", 440, 4, 32, 32, Action::Close}},
     {},
     false},
};

struct Reader {
    HWND target;
};

// Commands arrive on stdin, one a line, and are posted to the window: the
// window is touched only on the GUI thread.
DWORD WINAPI ReadCommands(void* arg) {
    HWND target = static_cast<Reader*>(arg)->target;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    char buf[256];
    DWORD got = 0;
    while (ReadFile(in, buf, sizeof(buf), &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (buf[i] != '\n') {
                if (buf[i] != '\r' && line.size() < 512) line.push_back(buf[i]);
                continue;
            }
            // "caption I TEXT": TEXT in UTF-8, handed over with the message.
            if (line.compare(0, 8, "caption ") == 0) {
                auto* text = new std::string(line.substr(8));
                if (!PostMessageW(target, kCommandMessage, CmdCaption, reinterpret_cast<LPARAM>(text))) delete text;
                line.clear();
                continue;
            }
            static const char* names[] = {"", "dim", "undim", "where", "state", "restore", "modal", "throw", "quit"};
            for (int c = 1; c <= CmdQuit; ++c) {
                if (line == names[c]) PostMessageW(target, kCommandMessage, static_cast<WPARAM>(c), 0);
            }
            line.clear();
        }
    }
    return 0;
}

} // namespace

const FaceLayout* FindFace(const std::string& key) {
    for (const FaceLayout& f : kFaces) {
        if (key == f.key) return &f;
    }
    return nullptr;
}

} // namespace demo

int main(int argc, char** argv) {
    const demo::FaceLayout* face = demo::FindFace(argc > 1 ? argv[1] : "login");
    if (!face) {
        std::fprintf(stderr, "usage: ui_demo login|list|submit|confirm\n");
        return 2;
    }
    ui::Application& app = ui::Application::Instance();
    app.SetTitle(UiText(demo::kTitle));
    demo::DemoForm* form = app.CreateForm<demo::DemoForm>(*face);
    if (std::string(face->key) == "list") form->SetModalChild(app.CreateForm<demo::DemoForm>(*demo::FindFace("submit")));
    static demo::Reader reader{form->Handle()};
    HANDLE thread = CreateThread(nullptr, 0, demo::ReadCommands, &reader, 0, nullptr);
    if (thread) CloseHandle(thread);
    std::printf("ready %s\n", face->key);
    std::fflush(stdout);
    app.Run();
    app.DestroyForms();
    std::printf("ended\n");
    std::fflush(stdout);
    // The reader may still sit in ReadFile on stdin: leave without joining it.
    ExitProcess(0);
}
