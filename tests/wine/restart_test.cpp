// kovaapp.exe as a process under Wine: restart mode and the folders of a
// normal start, observed from outside as the update's three processes see them.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "winprocess.h"

using namespace wintest;

namespace {

const wchar_t kTitle[] = L"KOVA API權限申請服務";
const wchar_t kTarget[] = L"target.exe";

class RestartProtocol : public testing::Test {
protected:
    void SetUp() override {
        app = EnvPath("KOVAAPP_EXE");
        holdopen = EnvPath("KOVA_HOLDOPEN_EXE");
        ASSERT_FALSE(app.empty()) << "KOVAAPP_EXE not set";
        ASSERT_TRUE(Exists(app));
        KillProcessesNamed(kTarget);

        wchar_t tmp[MAX_PATH] = {0};
        GetTempPathW(MAX_PATH, tmp);
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        work = std::wstring(tmp) + L"kova restart " + std::to_wstring(GetCurrentProcessId()) + L" " +
               std::wstring(name.begin(), name.end());
        RemoveTree(work);
        ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr));
        folder = work + L"\\dir with spaces";
        CreateDirectoryW(folder.c_str(), nullptr);
        target = folder + L"\\" + kTarget;
        ASSERT_TRUE(WriteWholeFile(target, "the installed version"));

        // The processes started here (and theirs) see these folders.
        UseFoldersUnder(work, &temp, &local);
    }

    void TearDown() override {
        // A failed expectation must not leave a process (and its message box) behind.
        for (DWORD pid : started) {
            HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (!h) continue;
            if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) TerminateProcess(h, 1);
            CloseHandle(h);
        }
        KillProcessesNamed(kTarget);
        RemoveTree(work);
    }

    // Runs kovaapp.exe with `arguments` and returns its process.
    PROCESS_INFORMATION Run(const std::wstring& arguments) {
        PROCESS_INFORMATION pi = {};
        EXPECT_TRUE(Start(app, arguments, &pi));
        started.push_back(pi.dwProcessId);
        return pi;
    }

    // The replaced target, started in normal mode, shows its window; close it.
    void ExpectTargetStartedAndClose() {
        DWORD pid = 0;
        for (int i = 0; i < 500 && !pid; ++i) {
            std::vector<DWORD> pids = ProcessesNamed(kTarget);
            if (!pids.empty()) pid = pids[0];
            else Sleep(20);
        }
        ASSERT_NE(0u, pid) << "the replaced executable was not started";
        ASSERT_NE(nullptr, WaitWindow(pid, nullptr, 15000));
        EXPECT_TRUE(CloseAndWait(pid, 15000));
    }

    std::wstring app, holdopen, work, folder, target, temp, local;
    std::vector<DWORD> started;
};

TEST_F(RestartProtocol, TargetWithSpacesIsReplacedAndStarted) {
    PROCESS_INFORMATION pi = Run(L"restart=" + target);
    EXPECT_EQ(0, WaitExit(pi.hProcess, 20000));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(ReadWholeFile(app), ReadWholeFile(target));
    ExpectTargetStartedAndClose();
}

TEST_F(RestartProtocol, FailedCopyShowsTheMessageAndNotesTheVersion) {
    const std::wstring kept = temp + L"\\KovaApp\\kept.txt";
    CreateDirectoryW((temp + L"\\KovaApp").c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(kept, "left by an earlier run"));
    // A folder where the copy is staged: no copy can be made, however long
    // the retries go on.
    ASSERT_TRUE(CreateDirectoryW((target + L".new").c_str(), nullptr));

    PROCESS_INFORMATION pi = Run(L"restart=" + target);
    HWND box = WaitWindow(pi.dwProcessId, L"#32770", 20000);
    ASSERT_NE(nullptr, box) << "no message box";
    EXPECT_EQ(kTitle, WindowText(box));
    EXPECT_TRUE(DialogShows(box, L"複製檔案失敗"));
    PostMessageW(box, WM_COMMAND, IDOK, 0);  // its one OK button
    EXPECT_EQ(0, WaitExit(pi.hProcess, 10000));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    EXPECT_EQ("the installed version", ReadWholeFile(target));
    EXPECT_TRUE(Exists(kept));  // the temporary folder was not emptied
    // The one thing written: which version could not be installed, so that the
    // next start does not close again for it.
    EXPECT_EQ(std::string(KOVA_VERSION) + "\n", ReadWholeFile(local + L"\\KovaApp\\update-failed.txt"));
    EXPECT_EQ(1u, ListFolder(local + L"\\KovaApp").size());
    EXPECT_TRUE(ListFolder(folder).size() == 2) << "something besides the target and the blocking folder";
    EXPECT_TRUE(ProcessesNamed(kTarget).empty());
}

TEST_F(RestartProtocol, TargetLockedByTheExitingProcessIsReplacedOnceItEnds) {
    ASSERT_FALSE(holdopen.empty());
    ASSERT_TRUE(CopyFileW(holdopen.c_str(), target.c_str(), FALSE));
    PROCESS_INFORMATION old = {};
    ASSERT_TRUE(Start(target, L"1500", &old));
    Sleep(200);
    // The running executable really is locked: a single copy would fail here.
    EXPECT_FALSE(CopyFileW(app.c_str(), target.c_str(), FALSE));

    PROCESS_INFORMATION pi = Run(L"restart=" + target);
    EXPECT_EQ(0, WaitExit(old.hProcess, 10000));
    EXPECT_EQ(0, WaitExit(pi.hProcess, 20000));
    EXPECT_EQ(nullptr, WaitWindow(pi.dwProcessId, L"#32770", 0)) << "reported a failed copy";
    for (HANDLE h : {old.hThread, old.hProcess, pi.hThread, pi.hProcess}) CloseHandle(h);
    EXPECT_EQ(ReadWholeFile(app), ReadWholeFile(target));
    ExpectTargetStartedAndClose();
}

TEST_F(RestartProtocol, NormalStartEmptiesTheTemporaryFolderAndMakesTheDataFolder) {
    const std::wstring tempApp = temp + L"\\KovaApp";
    CreateDirectoryW(tempApp.c_str(), nullptr);
    CreateDirectoryW((tempApp + L"\\nested").c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(tempApp + L"\\kovaapp.exe", "an old download"));
    ASSERT_TRUE(WriteWholeFile(tempApp + L"\\nested\\x.bin", "x"));

    // A note of a failed installation of this very version: it has served.
    CreateDirectoryW((local + L"\\KovaApp").c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(local + L"\\KovaApp\\update-failed.txt", KOVA_VERSION "\n"));

    PROCESS_INFORMATION pi = Run(L"");
    ASSERT_NE(nullptr, WaitWindow(pi.dwProcessId, nullptr, 15000));
    EXPECT_TRUE(Exists(tempApp));
    EXPECT_TRUE(ListFolder(tempApp).empty());
    EXPECT_TRUE(Exists(local + L"\\KovaApp"));
    EXPECT_TRUE(ListFolder(local + L"\\KovaApp").empty()) << "the served note was kept";
    EXPECT_TRUE(CloseAndWait(pi.dwProcessId, 15000));
    EXPECT_EQ(0, WaitExit(pi.hProcess, 5000));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // Nothing is written into the data folder.
    EXPECT_TRUE(ListFolder(local + L"\\KovaApp").empty());
}

// Properties → Details of the program: its version resource, as the system
// reads it, names the build's version and the application's title.
TEST(VersionResource, NamesTheVersionAndTheTitle) {
    const struct {
        const char* variable;
        const wchar_t* version;
        WORD numbers[3];
    } programs[] = {
        {"KOVAAPP_EXE", L"" KOVA_VERSION, {KOVA_VERSION_NUMBERS}},
        {"KOVAAPP_NEXT_EXE", L"" KOVA_NEXT_VERSION, {KOVA_NEXT_VERSION_NUMBERS}},
    };
    for (const auto& p : programs) {
        const std::wstring exe = EnvPath(p.variable);
        SCOPED_TRACE(p.variable);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version resource";
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(MAKELONG(p.numbers[1], p.numbers[0]), static_cast<LONG>(fixed->dwFileVersionMS));
        EXPECT_EQ(MAKELONG(0, p.numbers[2]), static_cast<LONG>(fixed->dwFileVersionLS));
        EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
        auto text = [&](const wchar_t* name) {
            wchar_t* value = nullptr;
            UINT n = 0;
            const std::wstring key = std::wstring(L"\\StringFileInfo\\040404B0\\") + name;
            return VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &n) && value
                       ? std::wstring(value)
                       : std::wstring(L"(none)");
        };
        EXPECT_EQ(p.version, text(L"FileVersion"));
        EXPECT_EQ(p.version, text(L"ProductVersion"));
        EXPECT_EQ(L"KOVA API權限申請暨環境使用驗證服務", text(L"FileDescription"));
        EXPECT_EQ(L"KOVA API權限申請暨環境使用驗證服務", text(L"ProductName"));
        EXPECT_EQ(L"kovaapp.exe", text(L"OriginalFilename"));
        EXPECT_EQ(L"kovaapp", text(L"InternalName"));
        EXPECT_NE(L"(none)", text(L"CompanyName"));
        EXPECT_NE(L"(none)", text(L"LegalCopyright"));
    }
}

// A server that accepts and never answers, on the IP-echo origin's port
// (127.0.0.1:8080 in test builds): the start-up's IP lookup hangs on it.
class SilentServer {
public:
    SilentServer() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(8080);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // A service that served this port a moment ago (update_test) leaves
        // connections in TIME_WAIT, and Wine then refuses the bind for up to
        // a minute, whatever SO_REUSEADDR says.
        for (int i = 0; i < 150 && !bound_; ++i) {
            bound_ = bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            if (!bound_) Sleep(500);
        }
        bound_ = bound_ && listen(listener_, 8) == 0;
        if (bound_) {
            thread_ = std::thread([this] {
                for (;;) {
                    SOCKET s = accept(listener_, nullptr, nullptr);
                    if (s == INVALID_SOCKET) return;
                    held_.push_back(s);  // kept open, never answered
                    ++accepted_;
                }
            });
        }
    }
    ~SilentServer() {
        closesocket(listener_);
        if (thread_.joinable()) thread_.join();
        for (SOCKET s : held_) closesocket(s);
        WSACleanup();
    }
    bool bound() const { return bound_; }
    int accepted() const { return accepted_.load(); }

private:
    SOCKET listener_ = INVALID_SOCKET;
    bool bound_ = false;
    std::thread thread_;
    std::vector<SOCKET> held_;
    std::atomic<int> accepted_{0};
};

TEST_F(RestartProtocol, EndingNeverWaitsOnAnExchangeThatIsNotAnswered) {
    SilentServer server;
    ASSERT_TRUE(server.bound()) << "127.0.0.1:8080 is in use";
    PROCESS_INFORMATION pi = Run(L"");
    ASSERT_NE(nullptr, WaitWindow(pi.dwProcessId, nullptr, 15000));
    for (int i = 0; i < 750 && server.accepted() == 0; ++i) Sleep(20);
    ASSERT_GT(server.accepted(), 0) << "the IP lookup never connected";
    // The lookup is still waiting for its answer: closing must end the program all the same.
    EXPECT_TRUE(CloseAndWait(pi.dwProcessId, 20000));
    EXPECT_EQ(0, WaitExit(pi.hProcess, 1000));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

} // namespace
