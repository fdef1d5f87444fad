// Fetching by itself inside the program: at start, at the daily time, the
// retries after a failure, and the fetches "quillon.exe /abholen" hands
// over. Everything runs on the GUI thread; the fetch never takes the focus,
// and the reader is told its outcome once, when the main window is in front
// and no dialog is open.
#ifndef QUILLON_AUTO_FETCH_H
#define QUILLON_AUTO_FETCH_H

#include <windows.h>

#include "fetch_schedule.h"

// Reads the settings, starts the clock and, when due, the start fetch.
void startAutoFetching(HWND mainWindow);
// The main window's messages that concern the automatic fetches (the
// clock, activation, requests of "/abholen"); true when handled, with the
// window procedure's result in `result`.
bool autoFetchMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result);
// "Neue Zeitungen abholen" and "Alle Zeitungen abholen": while an automatic
// fetch runs, the download dialog shows its progress; otherwise the
// reader's own fetch replaces a waiting retry and runs as always, unless
// another process is fetching.
void runHandFetch(HWND mainWindow);
// The settings dialog changed the reader's choices.
void applyFetchSettings(const FetchSettings &settings);

// The download dialog watching the automatic fetch: false when none runs.
bool watchAutoFetch(HWND dialog);
// Escape in the watching dialog: the fetch stops.
void cancelWatchedFetch();
void stopWatchingAutoFetch(HWND dialog);

// The clock the plan reads; tests set their own (null: the system's).
using FetchClock = Moment (*)();
void setFetchClock(FetchClock clock);
// The clock's tick: starts what is due now (the timer calls it; tests too).
void autoFetchTick();
bool autoFetchRunning();

// The registered messages between "/abholen" and the running program: the
// request carries the window that gets the reply, the reply the exit code.
UINT fetchRequestMessage();
UINT fetchReplyMessage();

// The message-only window that receives the library's notifications for a
// fetch without a dialog; `notify` gets each (category, code).
using FetchNotify = void (*)(WPARAM category, LPARAM code);
HWND createFetchHostWindow(FetchNotify notify);

#endif
