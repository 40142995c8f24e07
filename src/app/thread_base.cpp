#include "app/thread_base.h"

#include <process.h>

#include "app/app_window.h"

namespace klv {
namespace {

constexpr wchar_t kCallsWindowClass[] = L"KlvThreadCalls";
// Sent by a finishing thread: lParam is the TThread whose OnTerminate runs.
constexpr UINT kMsgRunTerminate = WM_APP + 0x51;

LRESULT CALLBACK CallsProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgRunTerminate) {
        const auto* handler = reinterpret_cast<const std::function<void()>*>(lp);
        // A failure of the handler ends the handler only; the default error
        // report shows it and the launcher goes on.
        RunGuarded([handler] { (*handler)(); });
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateCallsWindow() {
    static const ATOM registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = CallsProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kCallsWindowClass;
        return RegisterClassExW(&wc);
    }();
    (void)registered;
    // Message-only: never shown, never enumerated, but its thread's message
    // loops dispatch what is sent to it.
    return CreateWindowExW(0, kCallsWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

}  // namespace

TThread::TThread(bool createSuspended) : calls_(CreateCallsWindow()) {
    unsigned id = 0;
    handle_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TThread::Run, this, CREATE_SUSPENDED, &id)));
    if (handle_ && !createSuspended) Start();
}

TThread::~TThread() {
    // The window belongs to the creating thread, which may not be this one:
    // it is closed there, by its own message loop.
    if (calls_ != nullptr) PostMessageW(calls_, WM_CLOSE, 0, 0);
}

void TThread::Start() {
    if (handle_) ResumeThread(handle_.get());
}

void TThread::DoTerminate() {
    // The sender waits until the creating thread has run the handler. When
    // that thread no longer dispatches messages (the launcher is ending),
    // the wait ends with the process.
    if (OnTerminate && calls_ != nullptr)
        SendMessageW(calls_, kMsgRunTerminate, 0, reinterpret_cast<LPARAM>(&OnTerminate));
}

unsigned __stdcall TThread::Run(void* self) {
    auto* thread = static_cast<TThread*>(self);
    try {
        thread->Execute();
    } catch (...) {
        // A failure of the body is discarded: the completion still runs and
        // finds nothing to do.
    }
    thread->DoTerminate();
    InterlockedExchange(&thread->finished_, 1);
    if (thread->FreeOnTerminate) delete thread;
    return 0;
}

}  // namespace klv
