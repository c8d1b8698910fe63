// The report's times: ISO texts read into UTC seconds without the C
// library's help (a million rows must read fast), and the local calendar
// turned into offsets and texts.

#include "report/report_time.h"

#include <algorithm>

#include <cstdio>

namespace sn {

namespace {

// Reads a text from left to right; any mismatch fails the whole reading.
struct Cursor {
    std::string_view s;
    std::size_t i = 0;
    bool ok = true;

    int Digits(std::size_t n, int max) {
        int v = 0;
        for (std::size_t k = 0; k < n; ++k, ++i) {
            ok = ok && i < s.size() && s[i] >= '0' && s[i] <= '9';
            v = ok ? v * 10 + (s[i] - '0') : 0;
        }
        ok = ok && v <= max;
        return v;
    }
    bool Take(char c) {
        const bool here = i < s.size() && s[i] == c;
        i += here ? 1 : 0;
        return here;
    }
    void Expect(char c) { ok = ok && Take(c); }
    bool AtEnd() const { return i == s.size(); }
};

struct Fields {
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

void ReadDate(Cursor& c, Fields& f) {
    f.year = c.Digits(4, 9999);
    c.Expect('-');
    f.month = c.Digits(2, 12);
    c.Expect('-');
    f.day = c.Digits(2, 31);
    c.ok = c.ok && f.month >= 1 && f.day >= 1;
}

void ReadClock(Cursor& c, Fields& f, bool secondsRequired) {
    f.hour = c.Digits(2, 23);
    c.Expect(':');
    f.minute = c.Digits(2, 59);
    if (secondsRequired || c.Take(':')) {
        if (secondsRequired) {
            c.Expect(':');
        }
        f.second = c.Digits(2, 60);
        if (c.Take('.')) {
            while (c.i < c.s.size() && c.s[c.i] >= '0' && c.s[c.i] <= '9') {
                ++c.i;  // fractions of a second do not change the report
            }
        }
    }
}

// Z, +01:00 or +0100; nothing when the text ends here.
std::optional<int> ReadZone(Cursor& c) {
    if (c.Take('Z') || c.Take('z')) {
        return 0;
    }
    const bool plus = c.Take('+');
    if (!plus && !c.Take('-')) {
        return std::nullopt;
    }
    const int h = c.Digits(2, 23);
    c.Take(':');
    const int m = c.Digits(2, 59);
    return (plus ? 1 : -1) * (h * 60 + m);
}

std::int64_t WallSeconds(const Fields& f) {
    return DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) *
               86400 +
           f.hour * 3600 + f.minute * 60 + f.second;
}

struct Civil {
    std::int64_t year;
    unsigned month, day;
};

Civil CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

// "2026-12-07T14:02" or "2026-12-07 14:02:11", then "+01:00".
std::string FormatWall(std::int64_t wall, int offsetMinutes, char between, bool seconds) {
    const std::int64_t days = FloorDiv(wall, 86400);
    const std::int64_t s = wall - days * 86400;
    const Civil c = CivilFromDays(days);
    const int off = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u%c%02d:%02d", static_cast<long long>(c.year),
                  c.month, c.day, between, static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60));
    std::string out = text;
    if (seconds) {
        std::snprintf(text, sizeof text, ":%02d", static_cast<int>(s % 60));
        out += text;
    }
    std::snprintf(text, sizeof text, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', off / 60,
                  off % 60);
    return out + text;
}

}  // namespace

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<IsoTime> ParseRowTime(std::string_view text) {
    Cursor c{text};
    Fields f;
    ReadDate(c, f);
    c.Expect('T');
    ReadClock(c, f, true);
    const std::optional<int> zone = ReadZone(c);
    if (!c.ok || !zone || !c.AtEnd()) {
        return std::nullopt;
    }
    return IsoTime{WallSeconds(f) - *zone * 60, *zone};
}

std::optional<std::int64_t> ParseTimeArgument(std::string_view text) {
    Cursor c{text};
    Fields f;
    ReadDate(c, f);
    if (c.Take('T') || c.Take(' ')) {
        ReadClock(c, f, false);
    }
    const std::optional<int> zone = ReadZone(c);
    if (!c.ok || !c.AtEnd()) {
        return std::nullopt;
    }
    const std::int64_t wall = WallSeconds(f);
    return zone ? wall - *zone * 60 : LocalToUtc(wall);
}

std::optional<std::vector<int>> ParseShiftStarts(std::string_view text) {
    std::vector<int> starts;
    Cursor c{text};
    do {
        const int h = c.Digits(2, 23);
        c.Expect(':');
        const int m = c.Digits(2, 59);
        c.ok = c.ok && (starts.empty() || starts.back() < h * 60 + m);
        starts.push_back(h * 60 + m);
    } while (c.ok && c.Take(','));
    if (!c.ok || !c.AtEnd()) {
        return std::nullopt;
    }
    return starts;
}

int LocalOffset(std::int64_t utc) {
    std::tm tm{};
    if (!LocalCalendar(utc, tm)) {
        return 0;  // beyond the OS's calendar: UTC
    }
    Fields f{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    return static_cast<int>(WallSeconds(f) - utc);
}

std::int64_t LocalToUtc(std::int64_t wall) {
    // The offset an hour either side may differ (a clock change): the one at
    // the first guess decides.
    const std::int64_t guess = wall - LocalOffset(wall);
    return wall - LocalOffset(guess);
}

std::string FormatLocal(std::int64_t utc, bool withDate) {
    const int offset = LocalOffset(utc);
    const std::string text = FormatWall(utc + offset, offset / 60, ' ', false);
    return withDate ? text : text.substr(11);
}

std::string FormatIso(std::int64_t utc, int offsetMinutes) {
    return FormatWall(utc + offsetMinutes * 60, offsetMinutes, 'T', true);
}

int LocalOffsets::At(std::int64_t utc) {
    const std::int64_t slot = FloorDiv(utc, 900);
    if (slot != slot_) {
        slot_ = slot;
        offset_ = LocalOffset(slot * 900);
    }
    return offset_;
}

std::int64_t ShiftStartAt(std::int64_t utc, int offset, const std::vector<int>& starts) {
    const std::int64_t wall = utc + offset;
    std::int64_t day = FloorDiv(wall, 86400);
    const auto minute = static_cast<int>((wall - day * 86400) / 60);
    const auto after = std::upper_bound(starts.begin(), starts.end(), minute);
    int start = starts.empty() ? 0 : starts.back();
    if (after != starts.begin()) {
        start = *std::prev(after);
    } else {
        --day;
    }
    return LocalToUtc(day * 86400 + start * 60);
}

}  // namespace sn
