#pragma once

#include <cstdint>
#include <string>

namespace talyx {

// Wall-clock time broken down as the profile and macro identifiers use it.
struct LocalTime {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Where the program reads time. Production code asks CurrentClock(); tests install a
// ManualClock so that lighting steps, blink periods and identifiers are stepped rather
// than waited for.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds of a monotonic clock; only differences are meaningful.
    virtual uint64_t tickMs() const = 0;
    virtual LocalTime localTime() const = 0;
};

Clock& SystemClock();
Clock& CurrentClock();
// Installs a clock for the whole process (nullptr restores the system clock).
void SetCurrentClock(Clock* clock);

inline uint64_t GetTickCount() { return CurrentClock().tickMs(); }
inline LocalTime GetLocalTime() { return CurrentClock().localTime(); }

class ManualClock : public Clock {
public:
    uint64_t tickMs() const override { return m_tick; }
    LocalTime localTime() const override { return m_local; }
    void advance(uint64_t ms) { m_tick += ms; }
    void setTick(uint64_t ms) { m_tick = ms; }
    void setLocalTime(const LocalTime& t) { m_local = t; }

private:
    uint64_t m_tick = 0;
    LocalTime m_local;
};

// "%d_%02d_%02d_%02d_%02d_%02d_%03d", year to milliseconds.
std::string FormatTimestampId(const LocalTime& t);

// A time-stamp identifier for a new file that no earlier call in this process has
// returned: when the clock has not moved on since the last one (two profiles made in
// the same millisecond), the time is advanced by one millisecond per collision, so two
// new documents never share a name.
std::string NewTimestampId();

// The same time one millisecond later, with carries into seconds, minutes, days, months.
LocalTime AddOneMillisecond(const LocalTime& t);

} // namespace talyx
