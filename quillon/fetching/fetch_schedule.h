// When the reader fetches by itself: at start, at a daily time, and again
// after a failure. Plain wall-clock arithmetic, so that a test sets the
// clock instead of waiting for it.
#ifndef QUILLON_FETCH_SCHEDULE_H
#define QUILLON_FETCH_SCHEDULE_H

#include <string>

// A local wall-clock minute.
struct Moment {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

// yyyymmdd of the moment's day, as kept in the registry.
int dayStamp(const Moment &m);
Moment addMinutes(const Moment &m, int minutes);
bool earlier(const Moment &a, const Moment &b);
// "7:05", as the reader hears a time.
std::string clockText(const Moment &m);

// The reader's choices under Software\VKT\Quillon\Fetch.
struct FetchSettings {
    bool atStart = false;        // fetch when the program starts
    bool daily = false;          // fetch at hour:minute while the program runs
    int hour = 6, minute = 30;   // the daily time, also that of the scheduled task
    bool scheduledTask = false;  // the Task Scheduler runs "quillon.exe /abholen"
};

// Checks the two time fields as typed. Returns 0 and sets hour and minute,
// or the user text that says what is wrong, with `badField` 0 for the hour
// and 1 for the minute.
int parseFetchTime(const std::string &hours, const std::string &minutes, int &hour, int &minute,
                   int &badField);

// Why an automatic fetch is due.
enum class FetchReason { None, Start, Daily, Retry };

// The plan of automatic fetches: one daily fetch per day, and after a
// failure three more tries (5, 15 and 60 minutes later) before the plan
// waits for the next day.
class FetchPlan {
  public:
    // `lastDailyDay`: yyyymmdd of the day whose daily fetch has run, as kept.
    FetchPlan(const FetchSettings &settings, int lastDailyDay)
        : settings_(settings), lastDailyDay_(lastDailyDay) {}

    void setSettings(const FetchSettings &settings) { settings_ = settings; }
    const FetchSettings &settings() const { return settings_; }

    // What is due when the program starts at `now`: the start fetch, or the
    // daily fetch when its time has passed today and it has not run.
    FetchReason atStart(const Moment &now) const;
    // What is due on the clock: a waiting retry when its time came, else the
    // daily fetch.
    FetchReason due(const Moment &now) const;

    // A fetch begun at `began` brought editions or found nothing new. It
    // counts as the day's fetch when it began at or after the daily time.
    void succeeded(const Moment &began);
    // A fetch failed at `now`. Returns true and sets `next` to the next try,
    // or false when there is none before the next start of the program.
    bool failed(const Moment &now, Moment &next);
    // The reader fetches by hand: a waiting retry is dropped.
    void handFetch();
    // Another process ran the daily fetch of day `day` (yyyymmdd).
    void noteDailyDone(int day) {
        if (day > lastDailyDay_) lastDailyDay_ = day;
    }

    int lastDailyDay() const { return lastDailyDay_; }
    int failures() const { return failures_; }
    bool retryWaiting() const { return retryWaiting_; }

  private:
    Moment dailyTime(const Moment &day) const;
    bool dailyDue(const Moment &now) const;

    FetchSettings settings_;
    int lastDailyDay_ = 0;
    int failures_ = 0;
    bool retryWaiting_ = false;
    Moment retryAt_;
};

#endif
