// The production report over the database ledger: the server's lines
// (odbc_report_sql.cpp) formed into the local days, hours and shifts here,
// from the machine's own time zone rules, as the journal's report forms
// them, since the server's rules may differ.

#include "database/odbc_report.h"

#include <algorithm>
#include <map>

#include "database/odbc_ledger_internal.h"
#include "database/odbc_report_internal.h"
#include "report/report_time.h"

namespace sn {

namespace {

using detail::kNoTime;
using detail::ReportLine;
using odbc::Diag;

void Tally(ReportCounts& c, int cls, bool firstPass, std::int64_t n) {
    c.tried += n;
    c.numbered += cls == 0 || cls == 1 ? n : 0;
    c.verified += cls == 1 ? n : 0;
    c.firstPass += firstPass ? n : 0;
    c.failed += cls == 2 ? n : 0;
    c.refused += cls == 3 ? n : 0;
    c.released += cls == 4 ? n : 0;
    c.inDoubt += cls == 5 ? n : 0;
}

// The local days, hours and shifts, as ReportBuilder forms them.
class Groups {
  public:
    explicit Groups(const ReportOptions& options) : options_(options) {}
    void Add(const ReportLine& line);
    Report Finish(std::vector<std::pair<std::int64_t, UnfinishedPager>> unfinished);

  private:
    std::int64_t TimeKey(std::int64_t utc);
    std::int64_t ShiftStart(std::int64_t utc);
    std::string TimeLabel(std::int64_t key) const;

    ReportOptions options_;
    LocalOffsets offsets_;
    std::map<std::string, ReportCounts> byText_;
    std::map<std::int64_t, ReportCounts> byTime_;
    std::map<std::pair<std::string, std::int64_t>, ReportCounts> hours_;
    ReportCounts total_;
};

std::int64_t Groups::ShiftStart(std::int64_t utc) {
    return ShiftStartAt(utc, offsets_.At(utc), options_.shiftStarts);
}

std::int64_t Groups::TimeKey(std::int64_t utc) {
    if (utc == kNoTime) {
        return kNoTime;
    }
    const int offset = offsets_.At(utc);
    if (options_.by == ReportGroup::Day) {
        return FloorDiv(utc + offset, 86400);
    }
    if (options_.by == ReportGroup::Hour) {
        return FloorDiv(utc + offset, 3600) * 3600 - offset;
    }
    return ShiftStart(utc);
}

std::string Groups::TimeLabel(std::int64_t key) const {
    if (key == kNoTime) {
        return "time unreadable";
    }
    if (options_.by == ReportGroup::Day) {
        return FormatLocal(LocalToUtc(key * 86400 + 12 * 3600)).substr(0, 10);
    }
    return FormatLocal(key) + (options_.by == ReportGroup::Shift ? " shift" : "");
}

void Groups::Add(const ReportLine& line) {
    Tally(total_, line.cls, line.firstPass, line.pagers);
    if (options_.by == ReportGroup::Station || options_.by == ReportGroup::Operator) {
        const std::string& key = options_.by == ReportGroup::Station ? line.station : line.op;
        Tally(byText_[key], line.cls, line.firstPass, line.pagers);
    } else {
        Tally(byTime_[TimeKey(line.slot)], line.cls, line.firstPass, line.pagers);
    }
    if (line.slot != kNoTime) {
        const int offset = offsets_.At(line.slot);
        const std::int64_t hour = FloorDiv(line.slot + offset, 3600) * 3600 - offset;
        Tally(hours_[{line.station, hour}], line.cls, line.firstPass, line.pagers);
    }
}

Report Groups::Finish(std::vector<std::pair<std::int64_t, UnfinishedPager>> unfinished) {
    Report report;
    report.total = total_;
    for (const auto& [text, counts] : byText_) {
        report.rows.push_back({text, counts});
    }
    for (const auto& [key, counts] : byTime_) {
        report.rows.push_back({TimeLabel(key), counts});
    }
    for (const auto& [key, counts] : hours_) {
        report.hours.push_back({key.first, key.second, counts});
    }
    // By the time of their last row; the same time: by number.
    std::stable_sort(unfinished.begin(), unfinished.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.serial < b.second.serial;
    });
    for (auto& [utc, pager] : unfinished) {
        report.unfinished.push_back(std::move(pager));
    }
    return report;
}

// The server's lines on `db`; a lost connection is made again and the
// count tried once more.
bool CountLines(odbc::Connection& db, const std::string& connection, const ReportOptions& options,
                double splitFrom, std::vector<ReportLine>& lines, Diag& diag) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        lines.clear();
        const bool counted =
            (db.Connected() || db.Connect(connection, diag)) &&
            detail::CountReportLines(db, connection, options, splitFrom, lines, diag);
        db.Rollback();
        if (counted) {
            return true;
        }
        if (!diag.ConnectionLost() && db.Connected()) {
            return false;  // the database answered: no second try
        }
        db.Disconnect();
    }
    return false;
}

}  // namespace

OdbcReportSource::OdbcReportSource(std::string connection, std::string password, double splitFrom)
    : connection_(std::move(connection)), password_(std::move(password)), splitFrom_(splitFrom) {}

bool OdbcReportSource::Build(const ReportOptions& options, Report& report, std::string& error) {
    Diag diag;
    std::vector<ReportLine> lines;
    if (!CountLines(db_, detail::WithPassword(connection_, password_), options, splitFrom_, lines,
                    diag)) {
        // A column the report counts by is missing: the tables are older than it.
        error = diag.state == "42703"
                    ? "The production database at " + detail::ServerName(connection_) +
                          " has the ledger tables of an older sntool; sntool"
                          " ledger init brings them up to date."
                    : detail::Unreachable(connection_, diag);
        return false;
    }
    Groups groups(options);
    std::vector<std::pair<std::int64_t, UnfinishedPager>> unfinished;
    for (ReportLine& line : lines) {
        groups.Add(line);
        if (line.unfinished) {
            unfinished.push_back(std::move(*line.unfinished));
        }
    }
    report = groups.Finish(std::move(unfinished));
    return true;
}

}  // namespace sn
