#pragma once
// The production report: what the ledger's rows say about the pagers of a
// time window, grouped by station, operator, day, hour or shift, for the
// supervisor (sntool report) and for the operator's counts in a window's
// status bar.
//
// A pager is counted once. Its attempts are the settlements of one serial
// number in time order: an attempt that released the number (already
// numbered, model refused, a read error, nothing written) is a pager of its
// own that kept no number; attempts that used the number (a write error after
// the first block, a write cut short) and the resume that followed them are
// one pager, until one of them completes. A reservation with no settlement
// is a pager in doubt.
//
// The window (since, until) takes the pagers whose first attempt falls in
// it, by the time each row gives (its own offset), whatever the file order;
// their later rows still settle them. The days, hours and shifts are the
// machine's local time; a shift that starts before midnight and runs past it
// belongs to the day it began.
//
// Texts that came from a person or a pager (station, operator, port, model)
// are shown as exactly those characters: the text output only puts '?' for
// control characters, so that a terminal does not act on them; the CSV
// output writes every field as the journal does, with a leading apostrophe
// on one that a spreadsheet would take for a formula ("=1+1" as "'=1+1").

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/journal.h"

namespace sn {

enum class ReportGroup { Station, Operator, Day, Hour, Shift };

struct ReportOptions {
    // Rows whose time is in [since, until) (UTC seconds); none: no bound.
    std::optional<std::int64_t> since;
    std::optional<std::int64_t> until;
    ReportGroup by = ReportGroup::Station;
    // --by shift: the shifts' starts, minutes after local midnight, ascending.
    std::vector<int> shiftStarts = {6 * 60, 14 * 60, 22 * 60};
};

struct ReportCounts {
    std::int64_t tried = 0;      // pagers
    std::int64_t numbered = 0;   // written or verified
    std::int64_t verified = 0;   // verified alone
    std::int64_t firstPass = 0;  // numbered on their first attempt
    std::int64_t failed = 0;     // the number used, the write not completed
    std::int64_t refused = 0;    // already numbered, model refused
    std::int64_t released = 0;   // kept no number for another reason (read error, ...)
    std::int64_t inDoubt = 0;    // reserved, never settled
};

struct ReportRow {
    std::string group;  // "vm", "ann", "2026-12-07", "2026-12-07 14:00+01:00", ...
    ReportCounts counts;
};

// Pagers per hour and station, for the chart.
struct HourBar {
    std::string station;
    std::int64_t hourStart = 0;  // UTC seconds, a whole local hour
    ReportCounts counts;
};

// A number in doubt or broken off, to find its pager.
struct UnfinishedPager {
    std::string serial;
    std::string time;
    std::string station;
    std::string port;
    std::string operatorName;
    std::string state;  // "in doubt", "broken off"
    std::string model;
};

struct Report {
    std::vector<ReportRow> rows;  // in the group's order
    ReportCounts total;
    std::vector<HourBar> hours;  // by station, then time
    std::vector<UnfinishedPager> unfinished;
};

// The report over rows in the order they were recorded.
Report BuildReport(const std::vector<LogRow>& rows, const ReportOptions& options);

// One journal row as the report reads it: views into the caller's text,
// formula escapes undone.
struct ReportRowView {
    std::string_view time;
    std::string_view station;
    std::string_view port;
    std::string_view model;
    std::string_view operatorName;
    std::uint64_t serial = 0;  // the ledger's key (Serial::KeyOf)
    RowEffect effect = RowEffect::Reserve;
    bool verified = false;  // "verified", also with "(duplicate allowed)"
    bool refused = false;   // "already numbered", "model refused"
};

// The report built row by row, keeping only the numbers still open and the
// groups' counts: a journal of millions of rows need not be held in memory.
class ReportBuilder {
  public:
    explicit ReportBuilder(const ReportOptions& options);
    ~ReportBuilder();
    ReportBuilder(const ReportBuilder&) = delete;
    ReportBuilder& operator=(const ReportBuilder&) = delete;

    void Add(const ReportRowView& row);
    // A LogRow; false (and nothing added) when its number or outcome does not read.
    bool Add(const LogRow& row);
    Report Finish();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

// The group column's title: "station", "operator", "day", "hour", "shift".
const char* GroupTitle(ReportGroup by);

std::string ReportText(const Report& report, const ReportOptions& options);
std::string ReportCsv(const Report& report, const ReportOptions& options);
// One self-contained page: the table, the chart (SVG), the unfinished list;
// nothing from outside it.
std::string ReportHtml(const Report& report, const ReportOptions& options);

// The yields, in percent; none when no pager was tried.
std::optional<double> FirstPassYield(const ReportCounts& counts);
std::optional<double> FinalYield(const ReportCounts& counts);

}  // namespace sn
