// The self-update as a person sees it, under Wine against the native
// kova-service on the program's own origins: the installed program (this
// build's version) is offered the next version, downloads it, closes, and the
// download replaces the installed file and starts it.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "jobwatch.h"
#include "winprocess.h"

using namespace wintest;

namespace {

const wchar_t kTitle[] = L"KOVA API權限申請服務";
const wchar_t kOffered[] = L"有新的程式版本，即將下載更新";
const wchar_t kDownloaded[] = L"下載更新完畢，即將重新啟動程式";
const wchar_t kFailed[] = L"下載更新失敗";
const wchar_t kCopyFailed[] = L"複製檔案失敗";
const wchar_t kMainClass[] = L"KovaForm";  // the login window, the one shown at start
const char kManifestRequest[] = "GET /download/API/kovaapp.json ";

// One request to an admin route of the service on the plain-HTTP port; true
// when it answers 200.
bool AdminPost(const std::string& route, const std::string& form) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    const char* port = getenv("KOVA_UPDATE_HTTP_PORT");
    a.sin_port = htons(static_cast<u_short>(port ? atoi(port) : 0));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string request = "POST " + route + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                    "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                    std::to_string(form.size()) + "\r\n\r\n" + form;
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char block[512];
        int n;
        while ((n = recv(s, block, sizeof block, 0)) > 0) answer.append(block, n);
    }
    closesocket(s);
    WSACleanup();
    return answer.compare(0, 12, "HTTP/1.0 200") == 0 || answer.compare(0, 12, "HTTP/1.1 200") == 0;
}

bool SetFault(const std::string& form) { return AdminPost("/_admin/fault", form); }
// The manifest offers the next version as the prepared download `name`
// (update_wine.sh puts each variant beside the signed one).
bool Offer(const std::string& name) {
    return AdminPost("/_admin/manifest", "version=" KOVA_NEXT_VERSION "&name=" + name);
}

// What the job saw, for a failure message.
std::string Describe(const std::vector<SeenProcess>& seen) {
    std::string out;
    for (const SeenProcess& p : seen) {
        out += "\n  pid " + std::to_string(p.pid) + " exit " + std::to_string(ExitCode(p.handle, 0)) + " " +
               testing::PrintToString(p.image);
    }
    return out;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class SelfUpdate : public testing::Test {
protected:
    void SetUp() override {
        app = EnvPath("KOVAAPP_EXE");
        next = EnvPath("KOVAAPP_NEXT_EXE");
        serviceLog = EnvPath("KOVA_UPDATE_SERVICE_LOG");
        ASSERT_TRUE(Exists(app) && Exists(next) && Exists(serviceLog)) << "run through update_wine.sh";
        appBytes = ReadWholeFile(app);
        nextBytes = ReadWholeFile(next);
        ASSERT_NE(appBytes, nextBytes);
        ASSERT_TRUE(watch->ok()) << "no job object";

        wchar_t tmp[MAX_PATH] = {0};
        GetTempPathW(MAX_PATH, tmp);
        work = std::wstring(tmp) + L"kova update " + std::to_wstring(GetCurrentProcessId());
        RemoveTree(work);
        ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr));
        const std::wstring installDir = work + L"\\installed here";
        CreateDirectoryW(installDir.c_str(), nullptr);
        installed = installDir + L"\\kovaapp.exe";
        ASSERT_TRUE(CopyFileW(app.c_str(), installed.c_str(), FALSE));
        UseFoldersUnder(work, &temp, &local);
        download = temp + L"\\KovaApp\\kovaapp.exe";
        manifestsBefore = ManifestRequests();
    }

    void TearDown() override {
        SetFault("kind=none");
        Offer("kovaapp.exe");
        watch.reset();  // ends whatever a failed expectation left running
        RemoveTree(work);
    }

    size_t ManifestRequests() { return Count(ReadWholeFile(serviceLog), kManifestRequest); }

    // The message box of `pid` showing `text`, with the program's title;
    // null when none does within `ms`.
    HWND WaitBox(DWORD pid, const wchar_t* text, DWORD ms) {
        const DWORD start = GetTickCount();
        for (;;) {
            HWND box = WaitWindow(pid, L"#32770", 0);
            if (box && DialogShows(box, text)) {
                EXPECT_EQ(kTitle, WindowText(box));
                return box;
            }
            if (GetTickCount() - start > ms) return nullptr;
            Sleep(50);
        }
    }

    // Its one OK button, as a person would press it; returns once the box is gone.
    static void PressOk(HWND box) {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 250 && IsWindow(box); ++i) Sleep(20);
        EXPECT_FALSE(IsWindow(box)) << "the box did not close";
    }

    // The program's processes among those of the job: Wine may start its
    // desktop process there too, when the first window of the session opens.
    std::vector<SeenProcess> Programs() {
        std::vector<SeenProcess> programs;
        for (const SeenProcess& p : watch->Seen()) {
            const size_t n = p.image.size(), tail = sizeof L"\\kovaapp.exe" / sizeof(wchar_t) - 1;
            if (n >= tail && lstrcmpiW(p.image.c_str() + n - tail, L"\\kovaapp.exe") == 0) programs.push_back(p);
        }
        return programs;
    }

    bool WaitPrograms(size_t count, DWORD ms) {
        const DWORD start = GetTickCount();
        while (Programs().size() < count) {
            if (GetTickCount() - start > ms) return false;
            Sleep(20);
        }
        return true;
    }

    bool ProgramsEnded(DWORD ms) {
        for (const SeenProcess& p : Programs())
            if (!watch->WaitExited(p.pid, ms)) return false;
        return true;
    }

    // Starts the installed program and accepts the update it offers.
    void StartAndAcceptTheOffer(PROCESS_INFORMATION* first) {
        ASSERT_TRUE(watch->Start(installed, first));
        CloseHandle(first->hThread);
        HWND box = WaitBox(first->dwProcessId, kOffered, 30000);
        ASSERT_NE(nullptr, box) << "no update offered";
        PressOk(box);
    }

    // Gives a started program time to read its manifest, then says whether it
    // offered anything.
    bool OffersNothing(DWORD pid, size_t manifests) {
        const DWORD start = GetTickCount();
        while (ManifestRequests() < manifests && GetTickCount() - start < 20000) Sleep(50);
        EXPECT_EQ(manifests, ManifestRequests()) << "the manifest was not asked for";
        return WaitWindow(pid, L"#32770", 2000) == nullptr;
    }

    std::wstring app, next, serviceLog, work, installed, temp, local, download;
    std::string appBytes, nextBytes;
    size_t manifestsBefore = 0;
    std::unique_ptr<JobWatch> watch = std::make_unique<JobWatch>();
};

TEST_F(SelfUpdate, DownloadReplacesTheInstalledProgramAcrossThreeProcesses) {
    PROCESS_INFORMATION first = {};
    ASSERT_NO_FATAL_FAILURE(StartAndAcceptTheOffer(&first));
    HWND box = WaitBox(first.dwProcessId, kDownloaded, 60000);
    ASSERT_NE(nullptr, box) << "the download did not end";
    EXPECT_TRUE(nextBytes == ReadWholeFile(download)) << "the download is not the next version";
    PressOk(box);
    EXPECT_EQ(0, ExitCode(first.hProcess, 20000));
    CloseHandle(first.hProcess);

    // Process 2 runs the download in restart mode; process 3 is the replaced program.
    ASSERT_TRUE(WaitPrograms(3, 30000)) << "processes seen:" << Describe(watch->Seen());
    const std::vector<SeenProcess> seen = Programs();
    SCOPED_TRACE("processes seen:" + Describe(watch->Seen()));
    EXPECT_EQ(0, lstrcmpiW(download.c_str(), seen[1].image.c_str())) << testing::PrintToString(seen[1].image);
    EXPECT_EQ(0, ExitCode(seen[1].handle, 20000));
    EXPECT_EQ(0, lstrcmpiW(installed.c_str(), seen[2].image.c_str())) << testing::PrintToString(seen[2].image);
    EXPECT_TRUE(nextBytes == ReadWholeFile(installed)) << "the installed file was not replaced";

    const DWORD third = seen[2].pid;
    ASSERT_NE(nullptr, WaitWindow(third, kMainClass, 30000)) << "the replaced program shows no window";
    EXPECT_TRUE(ListFolder(temp + L"\\KovaApp").empty()) << "the download was not cleared";
    EXPECT_TRUE(OffersNothing(third, manifestsBefore + 2)) << "the new version was offered itself";
    EXPECT_TRUE(CloseAndWait(third, 20000));
    EXPECT_EQ(0, ExitCode(seen[2].handle, 1000));
    EXPECT_TRUE(ProgramsEnded(10000));
    EXPECT_EQ(3u, Programs().size()) << "closing the new version started another process";

    // Nothing was ever written to the data folder (no settings file) and
    // nothing is left in the temporary one.
    EXPECT_TRUE(Exists(local + L"\\KovaApp"));
    EXPECT_TRUE(ListFolder(local + L"\\KovaApp").empty());
    EXPECT_TRUE(ListFolder(temp + L"\\KovaApp").empty());
}

TEST_F(SelfUpdate, FailedDownloadKeepsTheRunningVersionAndStartsNothing) {
    ASSERT_TRUE(SetFault("kind=status&code=404&path=/download/API/kovaapp.exe"));
    PROCESS_INFORMATION first = {};
    ASSERT_NO_FATAL_FAILURE(StartAndAcceptTheOffer(&first));
    HWND box = WaitBox(first.dwProcessId, kFailed, 60000);
    ASSERT_NE(nullptr, box) << "the failed download was not reported";
    PressOk(box);

    // The old version goes on: its window stays, and no file was written.
    EXPECT_NE(nullptr, WaitWindow(first.dwProcessId, kMainClass, 5000));
    EXPECT_EQ(-1, ExitCode(first.hProcess, 0));
    EXPECT_TRUE(ListFolder(temp + L"\\KovaApp").empty());

    EXPECT_TRUE(CloseAndWait(first.dwProcessId, 20000));
    EXPECT_EQ(0, ExitCode(first.hProcess, 1000));
    CloseHandle(first.hProcess);
    EXPECT_TRUE(ProgramsEnded(10000));
    EXPECT_EQ(1u, Programs().size()) << "closing started another process" << Describe(watch->Seen());
    EXPECT_TRUE(appBytes == ReadWholeFile(installed));
    EXPECT_TRUE(ListFolder(local + L"\\KovaApp").empty());
}

} // namespace

namespace {

TEST_F(SelfUpdate, WithoutATemporaryFolderTheOfferEndsAsAFailedDownload) {
    // No place to save the download: the window must hear that it failed,
    // not wait after announcing it.
    SetEnvironmentVariableW(L"TEMP", nullptr);
    PROCESS_INFORMATION first = {};
    StartAndAcceptTheOffer(&first);
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    ASSERT_NE(nullptr, first.hProcess);
    HWND box = WaitBox(first.dwProcessId, kFailed, 30000);
    ASSERT_NE(nullptr, box) << "the window waits for a download that never started";
    PressOk(box);
    EXPECT_NE(nullptr, WaitWindow(first.dwProcessId, kMainClass, 5000)) << "the program did not go on";
    EXPECT_TRUE(CloseAndWait(first.dwProcessId, 20000));
    EXPECT_EQ(0, ExitCode(first.hProcess, 1000));
    CloseHandle(first.hProcess);
    EXPECT_TRUE(ProgramsEnded(10000));
    EXPECT_EQ(1u, Programs().size()) << "closing started another process" << Describe(watch->Seen());
    EXPECT_TRUE(appBytes == ReadWholeFile(installed));
}

} // namespace

namespace {

// The old version goes on after a refused update: the failure is told, its
// window stays, nothing is left in the temporary folder, and closing it
// starts nothing.
class RefusedUpdate : public SelfUpdate {
protected:
    void RunRefused() {
        PROCESS_INFORMATION first = {};
        ASSERT_NO_FATAL_FAILURE(StartAndAcceptTheOffer(&first));
        HWND box = WaitBox(first.dwProcessId, kFailed, 60000);
        ASSERT_NE(nullptr, box) << "the update was not refused";
        EXPECT_TRUE(ListFolder(temp + L"\\KovaApp").empty()) << "the refused download was kept";
        PressOk(box);
        EXPECT_NE(nullptr, WaitWindow(first.dwProcessId, kMainClass, 5000)) << "the program did not go on";
        EXPECT_EQ(-1, ExitCode(first.hProcess, 0));
        EXPECT_TRUE(CloseAndWait(first.dwProcessId, 20000));
        EXPECT_EQ(0, ExitCode(first.hProcess, 1000));
        CloseHandle(first.hProcess);
        EXPECT_TRUE(ProgramsEnded(10000));
        EXPECT_EQ(1u, Programs().size()) << "a refused update was started" << Describe(watch->Seen());
        EXPECT_TRUE(appBytes == ReadWholeFile(installed)) << "the installed program was changed";
        EXPECT_TRUE(ListFolder(temp + L"\\KovaApp").empty());
    }
};

// Only a file its own publisher signed, whole and unchanged, replaces the program.
TEST_F(RefusedUpdate, Unsigned) {
    ASSERT_TRUE(Offer("kovaapp-unsigned.exe"));
    RunRefused();
}
TEST_F(RefusedUpdate, SignedWithAnotherKeyUnderTheSameName) {
    ASSERT_TRUE(Offer("kovaapp-otherkey.exe"));
    RunRefused();
}
TEST_F(RefusedUpdate, AByteChangedInsideASectionAfterSigning) {
    ASSERT_TRUE(Offer("kovaapp-tampered.exe"));
    RunRefused();
}
TEST_F(RefusedUpdate, BytesAppendedAfterTheSignature) {
    ASSERT_TRUE(Offer("kovaapp-appended.exe"));
    RunRefused();
}
TEST_F(RefusedUpdate, ServedTruncatedWithoutALength) {
    ASSERT_TRUE(SetFault("kind=truncate&path=/download/API/kovaapp.exe"));
    RunRefused();
}
TEST_F(RefusedUpdate, ByAProgramThatIsNotSignedItself) {
    const std::wstring unsigned_ = EnvPath("KOVAAPP_UNSIGNED_EXE");
    ASSERT_TRUE(Exists(unsigned_));
    ASSERT_TRUE(CopyFileW(unsigned_.c_str(), installed.c_str(), FALSE));
    appBytes = ReadWholeFile(installed);
    RunRefused();
}

// A replacement that fails (the installed file held open past restart mode's
// retries) is told once; the next start is not closed again for that version.
TEST_F(SelfUpdate, AFailedReplacementIsToldOnceAndNotRetriedAtTheNextStart) {
    const std::wstring holdopen = EnvPath("KOVA_HOLDOPEN_EXE");
    ASSERT_TRUE(Exists(holdopen));
    PROCESS_INFORMATION holder = {};
    ASSERT_TRUE(Start(holdopen, L"15000 \"" + installed + L"\"", &holder));
    CloseHandle(holder.hThread);

    PROCESS_INFORMATION first = {};
    ASSERT_NO_FATAL_FAILURE(StartAndAcceptTheOffer(&first));
    HWND box = WaitBox(first.dwProcessId, kDownloaded, 60000);
    ASSERT_NE(nullptr, box) << "the download did not end";
    PressOk(box);
    EXPECT_EQ(0, ExitCode(first.hProcess, 20000));
    CloseHandle(first.hProcess);
    ASSERT_TRUE(WaitPrograms(2, 30000)) << "processes seen:" << Describe(watch->Seen());
    const SeenProcess restart = Programs()[1];
    box = WaitBox(restart.pid, kCopyFailed, 30000);
    ASSERT_NE(nullptr, box) << "the failed copy was not told";
    // Noted before the message shows: the version that could not be installed.
    EXPECT_EQ(std::string(KOVA_NEXT_VERSION) + "\n", ReadWholeFile(local + L"\\KovaApp\\update-failed.txt"));
    PressOk(box);
    EXPECT_EQ(0, ExitCode(restart.handle, 10000));
    EXPECT_TRUE(appBytes == ReadWholeFile(installed)) << "the installed program was changed";
    EXPECT_TRUE(ListFolder(work + L"\\installed here").size() == 1) << "the staged copy stayed behind";
    TerminateProcess(holder.hProcess, 0);
    WaitForSingleObject(holder.hProcess, 5000);
    CloseHandle(holder.hProcess);

    // The next start reads the manifest and does not offer that version again.
    const size_t manifests = ManifestRequests();
    PROCESS_INFORMATION again = {};
    ASSERT_TRUE(watch->Start(installed, &again));
    CloseHandle(again.hThread);
    ASSERT_NE(nullptr, WaitWindow(again.dwProcessId, kMainClass, 30000));
    EXPECT_TRUE(OffersNothing(again.dwProcessId, manifests + 1)) << "the failed version was offered again";
    EXPECT_TRUE(CloseAndWait(again.dwProcessId, 20000));
    CloseHandle(again.hProcess);
    EXPECT_TRUE(ProgramsEnded(10000));
    EXPECT_EQ(3u, Programs().size()) << Describe(watch->Seen());
}

} // namespace
