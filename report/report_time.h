#pragma once
// Times for the production report: the journal's ISO texts as UTC seconds,
// and the machine's local time (its calendar and UTC offset) for the groups
// by day, hour and shift.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sn {

struct IsoTime {
    std::int64_t utc = 0;
    int offsetMinutes = 0;
};

// A time with its UTC offset, as the journal writes it:
// 2026-12-07T14:02:11+01:00 (also Z, and +0100).
std::optional<IsoTime> ParseRowTime(std::string_view text);
// A time on the command line: 2026-12-07, 2026-12-07T14:00 or
// 2026-12-07T14:00:30, each with an optional offset (+01:00, Z); the
// machine's local time when it has none.
std::optional<std::int64_t> ParseTimeArgument(std::string_view text);
// Shift starts "06:00,14:00,22:00": minutes after midnight, ascending.
std::optional<std::vector<int>> ParseShiftStarts(std::string_view text);

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d);

// The machine's calendar fields at `utc` (the OS's time zone rules).
bool LocalCalendar(std::int64_t utc, std::tm& out);
// The machine's UTC offset at `utc`, in seconds.
int LocalOffset(std::int64_t utc);
// The UTC time of a local wall-clock time (seconds since the local epoch).
std::int64_t LocalToUtc(std::int64_t wall);
// a / b rounded down (times before 1970 count too).
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
// The UTC start of the shift `utc` falls in, the local offset at `utc`
// being `offset`: the last of `starts` (minutes after local midnight,
// ascending) before it that day, else the previous day's last shift, which
// runs past midnight.
std::int64_t ShiftStartAt(std::int64_t utc, int offset, const std::vector<int>& starts);
// "2026-12-07 14:00+01:00": a time as the local clock shows it.
std::string FormatLocal(std::int64_t utc, bool withDate = true);
// "2026-12-07T14:02:11+01:00": a time with the offset it was recorded with.
std::string FormatIso(std::int64_t utc, int offsetMinutes);

// The offset looked up once per quarter hour: the rows of a journal come in
// time order, so most lookups hit the last one.
class LocalOffsets {
  public:
    int At(std::int64_t utc);

  private:
    std::int64_t slot_ = INT64_MIN;
    int offset_ = 0;
};

}  // namespace sn
