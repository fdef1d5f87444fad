// Where the automatic fetches keep their settings and their state: values
// of the current user's key Software\VKT\Quillon\Fetch, and the log of
// "quillon.exe /abholen" in %LOCALAPPDATA%\Quillon.
#ifndef QUILLON_FETCH_REGISTRY_H
#define QUILLON_FETCH_REGISTRY_H

#include <string>

#include "fetch_schedule.h"

// The reader's choices; the defaults (all off, 6:30) when nothing is kept.
FetchSettings readFetchSettings();
void writeFetchSettings(const FetchSettings &settings);

// yyyymmdd of the day whose daily fetch ran, 0 when none did.
int readLastDailyDay();
// Keeps the later of the kept day and `day`.
void noteLastDailyDay(int day);

// The exit code of the last automatic fetch, for an "/abholen" that waited
// for it; 2 when none is kept. Each write counts up readFetchCount, so a
// waiting call sees whether the fetch it waited for kept its outcome.
int readLastFetchCode();
void writeLastFetchCode(int code);
unsigned long readFetchCount();

// The local wall clock.
Moment localNow();
// "2026-12-08 06:30" for the log.
std::string logStamp(const Moment &m);
// Appends one line to %LOCALAPPDATA%\Quillon\abholen.log.
void appendFetchLog(const std::string &line);

#endif
