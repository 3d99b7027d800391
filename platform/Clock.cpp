#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <tuple>

namespace talyx {
namespace {

class RealClock : public Clock {
public:
    uint64_t tickMs() const override {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    LocalTime localTime() const override {
        using namespace std::chrono;
        const auto now = system_clock::now();
        const std::time_t secs = system_clock::to_time_t(now);
        std::tm tm{};
        localtime_r(&secs, &tm);
        LocalTime t;
        t.year = tm.tm_year + 1900;
        t.month = tm.tm_mon + 1;
        t.day = tm.tm_mday;
        t.hour = tm.tm_hour;
        t.minute = tm.tm_min;
        t.second = tm.tm_sec;
        t.millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
        return t;
    }
};

std::atomic<Clock*> g_clock{nullptr};

int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[(month - 1 + 12) % 12];
}

auto asTuple(const LocalTime& t) {
    return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

} // namespace

Clock& SystemClock() {
    static RealClock clock;
    return clock;
}

Clock& CurrentClock() {
    Clock* c = g_clock.load();
    return c ? *c : SystemClock();
}

void SetCurrentClock(Clock* clock) { g_clock.store(clock); }

std::string FormatTimestampId(const LocalTime& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d_%02d_%02d_%02d_%02d_%02d_%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return buffer;
}

LocalTime AddOneMillisecond(const LocalTime& in) {
    LocalTime t = in;
    if (++t.millisecond < 1000)
        return t;
    t.millisecond = 0;
    if (++t.second < 60)
        return t;
    t.second = 0;
    if (++t.minute < 60)
        return t;
    t.minute = 0;
    if (++t.hour < 24)
        return t;
    t.hour = 0;
    if (++t.day <= daysInMonth(t.year, t.month))
        return t;
    t.day = 1;
    if (++t.month <= 12)
        return t;
    t.month = 1;
    ++t.year;
    return t;
}

std::string NewTimestampId() {
    static std::mutex mutex;
    static bool haveLast = false;
    static LocalTime last;
    std::lock_guard<std::mutex> lock(mutex);
    LocalTime t = GetLocalTime();
    if (haveLast && asTuple(t) <= asTuple(last))
        t = AddOneMillisecond(last);
    last = t;
    haveLast = true;
    return FormatTimestampId(t);
}

} // namespace talyx
