// Only one fetch per user at a time, across processes: the reader's own
// program and "quillon.exe /abholen" take the same named mutex.
#ifndef QUILLON_FETCH_LOCK_H
#define QUILLON_FETCH_LOCK_H

#include <windows.h>

class FetchLock {
  public:
    FetchLock();
    ~FetchLock();
    FetchLock(const FetchLock &) = delete;
    FetchLock &operator=(const FetchLock &) = delete;

    // Takes the lock, waiting up to `waitMs` (answering sent messages
    // meanwhile). `waited` is set when another process held it. False when
    // it was not to be had in that time.
    bool take(DWORD waitMs, bool &waited);
    void release();
    bool held() const { return held_; }

  private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

#endif
