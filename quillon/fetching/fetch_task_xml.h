// The definition of the scheduled "/abholen" task in the Task Scheduler's
// XML form (schema version 1.2, as Windows 7 and later read it).
#ifndef QUILLON_FETCH_TASK_XML_H
#define QUILLON_FETCH_TASK_XML_H

#include <string>

// A daily task from `startDay` ("2026-12-08") at hour:minute that runs
// `program` with "/abholen": the registering user's own account, only while
// they are logged on, without raised rights, started as soon as possible
// when its time was missed, one run at a time, at most an hour.
std::wstring fetchTaskXml(const std::wstring &program, const std::wstring &startDay, int hour,
                          int minute);

#endif
