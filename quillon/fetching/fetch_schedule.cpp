// The plan of automatic fetches and the time the reader types for it.
#include "fetch_schedule.h"

#include <cctype>

#include "resource.h"

namespace {

// Days since 1.1.1970 of a proleptic Gregorian date, and back.
long daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long z, int &y, int &m, int &d) {
    z += 719468;
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long doe = z - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

long minutesOf(const Moment &m) {
    return daysFromCivil(m.year, m.month, m.day) * 1440 + m.hour * 60 + m.minute;
}

// 0 to `limit` written as one or two digits, surrounding blanks allowed.
bool smallNumber(const std::string &text, int limit, int &value) {
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos || end - begin > 1) return false;
    value = 0;
    for (size_t i = begin; i <= end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        value = value * 10 + (text[i] - '0');
    }
    return value <= limit;
}

// Minutes to wait after the first, second and third failure of a day.
const int kRetryMinutes[] = {5, 15, 60};

}  // namespace

int dayStamp(const Moment &m) { return m.year * 10000 + m.month * 100 + m.day; }

Moment addMinutes(const Moment &m, int minutes) {
    long total = minutesOf(m) + minutes;
    long days = total >= 0 ? total / 1440 : (total - 1439) / 1440;
    long rest = total - days * 1440;
    Moment out;
    civilFromDays(days, out.year, out.month, out.day);
    out.hour = static_cast<int>(rest / 60);
    out.minute = static_cast<int>(rest % 60);
    return out;
}

bool earlier(const Moment &a, const Moment &b) { return minutesOf(a) < minutesOf(b); }

std::string clockText(const Moment &m) {
    return std::to_string(m.hour) + ":" + (m.minute < 10 ? "0" : "") + std::to_string(m.minute);
}

int parseFetchTime(const std::string &hours, const std::string &minutes, int &hour, int &minute,
                   int &badField) {
    if (!smallNumber(hours, 23, hour)) {
        badField = 0;
        return IDS_FETCH_BAD_HOUR;
    }
    if (!smallNumber(minutes, 59, minute)) {
        badField = 1;
        return IDS_FETCH_BAD_MINUTE;
    }
    return 0;
}

Moment FetchPlan::dailyTime(const Moment &day) const {
    Moment at = day;
    at.hour = settings_.hour;
    at.minute = settings_.minute;
    return at;
}

bool FetchPlan::dailyDue(const Moment &now) const {
    return settings_.daily && lastDailyDay_ < dayStamp(now) && !earlier(now, dailyTime(now));
}

FetchReason FetchPlan::atStart(const Moment &now) const {
    if (settings_.atStart) return FetchReason::Start;
    return dailyDue(now) ? FetchReason::Daily : FetchReason::None;
}

FetchReason FetchPlan::due(const Moment &now) const {
    if (retryWaiting_) return earlier(now, retryAt_) ? FetchReason::None : FetchReason::Retry;
    return dailyDue(now) ? FetchReason::Daily : FetchReason::None;
}

void FetchPlan::succeeded(const Moment &began) {
    failures_ = 0;
    retryWaiting_ = false;
    if (!earlier(began, dailyTime(began)) && dayStamp(began) > lastDailyDay_)
        lastDailyDay_ = dayStamp(began);
}

bool FetchPlan::failed(const Moment &now, Moment &next) {
    if (failures_ < 3) {
        retryAt_ = addMinutes(now, kRetryMinutes[failures_++]);
        retryWaiting_ = true;
        next = retryAt_;
        return true;
    }
    // The fourth failure: today is given up, tomorrow's daily fetch comes.
    failures_ = 0;
    retryWaiting_ = false;
    if (dayStamp(now) > lastDailyDay_) lastDailyDay_ = dayStamp(now);
    if (!settings_.daily) return false;
    next = dailyTime(addMinutes(now, 1440));
    return true;
}

void FetchPlan::handFetch() {
    failures_ = 0;
    retryWaiting_ = false;
}
