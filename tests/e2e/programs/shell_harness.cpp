// The launcher with two test-only triggers, built from the very same window
// code (klv_shell). It answers two registered messages that the product does
// not know, so the product carries no test path:
//   "KlvHarnessBox"      shows a box owned by the main window (as the actions do)
//   "KlvHarnessFail" n   raises error n inside a guarded handler, so that the
//                        default error report shows it
//   "KlvHarnessSync"     synchronises the folder named by KLV_HARNESS_FOLDER from
//                        the server KLV_HARNESS_SERVER through the window's own
//                        client object, bars and buttons (as the environment
//                        action will), and writes the result to
//                        KLV_HARNESS_FOLDER + "sync-result.txt"
// and, when KLV_HARNESS_INSTALL_DIR_FILE names a file, writes InstallDir as the
// window's creation resolved it into that file before the message loop runs.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "app/app_window.h"
#include "app/launcher.h"
#include "app/main_window.h"
#include "install/install_folder.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "protocol/update_request.h"

namespace {

WNDPROC g_windowProc = nullptr;
klv::TFrm_OxMain* g_window = nullptr;

std::string Ansi(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

[[noreturn]] void Raise(WPARAM which) {
    switch (which) {
        case 0:
            throw klv::Error("Invalid data type for 'KLV_U'");
        case 1:
            throw klv::EReadError("Stream read error");
        case 2:
            throw klv::EFOpenError(Ansi(L"Cannot open file \"files.txt\". 系统找不到指定的文件。"));
        case 3:
            throw std::runtime_error("Unexpected end of data!");
        default:
            throw klv::Error("");
    }
}

std::string Environment(const char* name) {
    char value[1024] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void SyncFromEnvironment() {
    const std::string folder = Environment("KLV_HARNESS_FOLDER");
    klv::SetServerBaseUrl(Environment("KLV_HARNESS_SERVER"));
    const bool ok = g_window->Downloads().SyncPackage(folder, klv::SyncProgressBar::Download);
    // Whether the window the synchronisation ran in was still there when it
    // returned (a close asked for meanwhile must wait for it).
    const bool windowThere = g_window->Handle() != nullptr && IsWindow(g_window->Handle());
    klv::platform::RealFileSystem().WriteWholeFile(folder + "sync-window.txt", windowThere ? "there" : "gone");
    klv::platform::RealFileSystem().WriteWholeFile(folder + "sync-result.txt", ok ? "true" : "false");
}

LRESULT CALLBACK HarnessProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    static const UINT box = RegisterWindowMessageW(L"KlvHarnessBox");
    static const UINT fail = RegisterWindowMessageW(L"KlvHarnessFail");
    static const UINT sync = RegisterWindowMessageW(L"KlvHarnessSync");
    if (msg == sync) {
        // As the environment button runs it: an action of the window.
        g_window->RunAction(SyncFromEnvironment);
        return 0;
    }
    if (msg == box) {
        g_window->ShowMessageBox(L"测试消息", L"提示", MB_ICONINFORMATION);
        return 0;
    }
    if (msg == fail) {
        klv::RunGuarded([wp] { Raise(wp); });
        return 0;
    }
    return CallWindowProcW(g_windowProc, hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return klv::RunLauncher(instance, [](klv::TFrm_OxMain& window) {
        g_window = &window;
        const std::string installDirFile = Environment("KLV_HARNESS_INSTALL_DIR_FILE");
        if (!installDirFile.empty()) klv::platform::RealFileSystem().WriteWholeFile(installDirFile, klv::InstallDir);
        g_windowProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HarnessProc)));
    });
}
