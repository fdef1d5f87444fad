// The daily task in the Windows Task Scheduler that runs
// "quillon.exe /abholen" while Quillon is not running: the user's own
// task, no administrator rights, only while the user is logged on, started
// late when its time was missed. Through the Task Scheduler 2.0 interface
// (ITaskService); COM must be initialised on the calling thread.
#ifndef QUILLON_FETCH_TASK_H
#define QUILLON_FETCH_TASK_H

#include <windows.h>

#include <string>

// The task's name in the scheduler's root folder, with the user's name, so
// that each user of the machine has a task of their own.
std::wstring fetchTaskName();

// Registers (or replaces) the task for `program` (the full path of
// quillon.exe) at hour:minute every day. S_OK or the scheduler's error.
HRESULT registerFetchTask(const std::wstring &program, int hour, int minute);
// Removes the task; S_OK also when there was none.
HRESULT removeFetchTask();
// What a task definition holds of the parts this program sets, read back
// through the scheduler's interface.
struct FetchTaskView {
    long triggers = 0, actions = 0;
    std::wstring start;  // the daily trigger's start, "2026-12-08T06:30:00"
    short daysInterval = 0;
    std::wstring program, arguments;
    int logonType = -1;  // TASK_LOGON_*, -1 when the principal cannot tell
    bool startWhenAvailable = false, disallowOnBatteries = true, enabled = false, ignoreNew = false;
};
// The registered task (S_FALSE when there is none).
HRESULT registeredFetchTask(FetchTaskView &view);

// The full path of the running program.
std::wstring programPath();

#endif
