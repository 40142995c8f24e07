#pragma once
// A thread of the launcher's own whose completion handler runs on the GUI
// thread that created it.
#include <windows.h>

#include <functional>

#include "platform/win32/scoped_win.h"

namespace klv {

// A thread whose body, Execute, runs on a thread of its own. When the body has
// returned, or failed (its failure is discarded), the termination step hands
// OnTerminate to the thread that created the object and waits until that
// thread has run it: any message loop there runs it, the main loop, the loop
// of a modal box or a synchronisation that lets messages through.
class TThread {
public:
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Lets a thread that was created suspended run.
    void Start();
    bool Finished() const { return InterlockedCompareExchange(&finished_, 0, 0) != 0; }

    // Runs on the creating thread, once, after the body. Attach it before
    // Start().
    std::function<void()> OnTerminate;
    // Whether the object deletes itself once the thread has finished.
    bool FreeOnTerminate = false;

protected:
    // Must be called on the GUI thread: that is the thread that runs
    // OnTerminate.
    explicit TThread(bool createSuspended);

    // The termination step, on the thread itself.
    virtual void DoTerminate();
    // The thread body.
    virtual void Execute() = 0;

private:
    static unsigned __stdcall Run(void* self);

    platform::ScopedHandle handle_;
    // A message-only window of the creating thread, through which the
    // completion reaches that thread's message queue.
    HWND calls_ = nullptr;
    mutable volatile LONG finished_ = 0;
};

}  // namespace klv
