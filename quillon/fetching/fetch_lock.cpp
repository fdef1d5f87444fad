// The per-user fetch lock.
#include "fetch_lock.h"

#include <string>

FetchLock::FetchLock() {
    // The session's namespace with the user's name: two users on one
    // machine fetch side by side, one user's processes take turns.
    char user[257] = "";
    DWORD size = sizeof user;
    if (!GetUserNameA(user, &size)) user[0] = '\0';
    std::string name = std::string("Local\\Quillon.Abholen.") + user;
    mutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
}

FetchLock::~FetchLock() {
    release();
    if (mutex_) CloseHandle(mutex_);
}

bool FetchLock::take(DWORD waitMs, bool &waited) {
    waited = false;
    if (held_) return true;
    if (!mutex_) return true;  // without the system's mutex there is nobody to wait for
    DWORD r = WaitForSingleObject(mutex_, 0);
    if (r == WAIT_TIMEOUT) {
        waited = true;
        DWORD start = GetTickCount();
        for (;;) {
            DWORD spent = GetTickCount() - start;
            if (spent >= waitMs) return false;
            r = MsgWaitForMultipleObjects(1, &mutex_, FALSE, waitMs - spent, QS_SENDMESSAGE);
            if (r != WAIT_OBJECT_0 + 1) break;
            MSG m;  // let the messages sent to this thread's windows through
            PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    // An abandoned mutex belonged to a fetch that ended without releasing
    // it (a killed process): the lock is ours now all the same.
    held_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    return held_;
}

void FetchLock::release() {
    if (!held_) return;
    ReleaseMutex(mutex_);
    held_ = false;
}
