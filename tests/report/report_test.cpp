// The production report over hand-made journals with known answers: each
// pager counted once, in the group of its first attempt, and the text and
// CSV tables showing the counts and the people's texts as they were typed.
// The same rows in a scratch database (SNTOOL_TEST_DB) count the same, and
// the status bar's counts begin where the shift does.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "database/odbc_ledger.h"
#include "database/odbc_report.h"
#include "report/report_time.h"
#include "station/shift_counts.h"

namespace sn {
namespace {

// time, station, serial, outcome; the port, model and operator vary less.
struct R {
    std::string time, station, serial, outcome;
    std::string model = "CV1";
    std::string op = "ann";
};

struct Group {
    std::string text;  // the group as the text table shows it
    std::string csv;   // its CSV line
};

struct Case {
    std::string name;
    ReportGroup by;
    std::vector<R> rows;
    std::vector<Group> groups;  // total last
    std::string unfinished;     // "serial state," in order
    std::vector<std::string> textHas;
    std::optional<std::string> since = std::nullopt;
};

std::vector<LogRow> Rows(const std::vector<R>& rows) {
    std::vector<LogRow> out;
    for (const R& r : rows) {
        out.push_back({r.time, r.station, "COM3", r.model, "", r.serial, r.outcome, "1.0", r.op});
    }
    return out;
}

// The words of the text line that starts with `group`, after it.
std::string TextCells(const std::string& text, const std::string& group) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(group + "  ", 0) == 0) {
            std::istringstream words(line.substr(group.size()));
            std::string cells, w;
            while (words >> w) {
                cells += (cells.empty() ? "" : " ") + w;
            }
            return cells;
        }
    }
    return "(no line for " + group + ")";
}

// The CSV line's counts as the text shows them: "6 3 ... 33.3% 50.0%".
std::string AsText(const std::string& csv) {
    std::istringstream fields(csv.substr(csv.find(',') + 1));  // no comma in the groups here
    std::string field, out;
    for (int i = 0; std::getline(fields, field, ','); ++i) {
        out += (out.empty() ? "" : " ") + (i >= 7 ? (field.empty() ? "-" : field + "%") : field);
    }
    return out;
}

const std::string kAt = "2026-12-07T10:0";
const std::vector<R> kShiftRows = {
    {"2026-12-07T21:59:00+01:00", "vm", "AB12CD0001", "reserved"},
    {"2026-12-07T21:59:30+01:00", "vm", "AB12CD0001", "verified"},
    {"2026-12-07T22:30:00+01:00", "vm", "AB12CD0002", "reserved"},
    {"2026-12-07T22:30:30+01:00", "vm", "AB12CD0002", "verified"},
    // Broken off before midnight, resumed after it: the day it began.
    {"2026-12-07T23:50:00+01:00", "vm", "AB12CD0003", "reserved"},
    {"2026-12-07T23:50:30+01:00", "vm", "AB12CD0003", "not finished"},
    {"2026-12-08T00:10:00+01:00", "vm", "AB12CD0003", "reserved"},
    {"2026-12-08T00:10:30+01:00", "vm", "AB12CD0003", "verified"},
    {"2026-12-08T06:00:00+01:00", "vm", "AB12CD0004", "reserved"},
    {"2026-12-08T06:00:30+01:00", "vm", "AB12CD0004", "written"},
};
// Berlin's clocks go back at 03:00 CEST: 02:30 comes twice.
const std::vector<R> kDstRows = {
    {"2026-10-25T02:30:00+02:00", "vm", "AB12CD0001", "reserved"},
    {"2026-10-25T02:30:20+02:00", "vm", "AB12CD0001", "verified"},
    {"2026-10-25T02:30:00+01:00", "vm", "AB12CD0002", "reserved"},
    {"2026-10-25T02:30:20+01:00", "vm", "AB12CD0002", "verified"},
    {"2026-10-25T01:45:00Z", "vm", "AB12CD0003", "reserved"},
    {"2026-10-25T01:45:20Z", "vm", "AB12CD0003", "verify mismatch"},
};

const std::vector<Case> kCases = {
    {"retries, a resume, in doubt, two stations",
     ReportGroup::Station,
     {{kAt + "0:00+01:00", "vm", "AB12CD0001", "reserved"},
      {kAt + "0:10+01:00", "vm", "AB12CD0001", "verified"},
      {kAt + "1:00+01:00", "vm", "AB12CD0002", "reserved"},
      {kAt + "1:10+01:00", "vm", "AB12CD0002", "Write Error #3"},
      {kAt + "2:00+01:00", "line2", "AB12CD0006", "reserved", "CV1", "bob"},
      {kAt + "2:10+01:00", "line2", "AB12CD0006", "verify mismatch", "CV1", "bob"},
      {kAt + "3:00+01:00", "vm", "AB12CD0002", "reserved"},  // the resume
      {kAt + "3:10+01:00", "vm", "AB12CD0002", "verified"},
      {kAt + "4:00+01:00", "vm", "AB12CD0003", "reserved"},
      {kAt + "4:10+01:00", "vm", "AB12CD0003", "Read Error #5"},
      {kAt + "5:00+01:00", "vm", "AB12CD0003", "reserved"},  // given again
      {kAt + "5:10+01:00", "vm", "AB12CD0003", "written"},
      {kAt + "6:00+01:00", "vm", "AB12CD0004", "reserved"},
      {kAt + "6:10+01:00", "vm", "AB12CD0004", "already numbered"},
      {kAt + "7:00+01:00", "line2", "AB12CD0007", "reserved", "XX", "bob"},
      {kAt + "7:10+01:00", "line2", "AB12CD0007", "model refused", "XX", "bob"},
      {kAt + "8:00+01:00", "line2", "AB12CD0008", "reserved", "CV1", "bob"},
      {kAt + "8:10+01:00", "line2", "AB12CD0008", "Write Error #1", "CV1", "bob"},
      // Written again on purpose: a second pager, numbered on its first try.
      {kAt + "8:20+01:00", "vm", "AB12CD0009", "reserved"},
      {kAt + "8:30+01:00", "vm", "AB12CD0009", "verified"},
      {kAt + "8:40+01:00", "vm", "AB12CD0009", "reserved"},
      {kAt + "8:50+01:00", "vm", "AB12CD0009", "written (duplicate allowed)"},
      {"yesterday", "vm", "AB12CD0010", "reserved"},  // counted, in no hour
      {"yesterday", "vm", "AB12CD0010", "verified"},
      {kAt + "8:55+01:00", "vm", "AB12CD001", "reserved"},  // no number: left out
      {kAt + "8:56+01:00", "vm", "AB12CD001", "verified"},
      {kAt + "9:00+01:00", "vm", "AB12CD0005", "reserved"}},
     {{"line2", "line2,3,0,0,1,1,1,0,0.0,0.0"},
      {"vm", "vm,9,6,4,0,1,1,1,55.6,66.7"},
      {"total", "total,12,6,4,1,2,2,1,41.7,50.0"}},
     "AB12CD0006 broken off,AB12CD0005 in doubt,",
     {"2026-12-07T10:02:10+01:00"}},
    {"a shift from 22:00 runs past midnight",
     ReportGroup::Shift,
     kShiftRows,
     {{"2026-12-07 14:00+01:00 shift", "2026-12-07 14:00+01:00 shift,1,1,1,0,0,0,0,100.0,100.0"},
      {"2026-12-07 22:00+01:00 shift", "2026-12-07 22:00+01:00 shift,2,2,2,0,0,0,0,50.0,100.0"},
      {"2026-12-08 06:00+01:00 shift", "2026-12-08 06:00+01:00 shift,1,1,0,0,0,0,0,100.0,100.0"},
      {"total", "total,4,4,3,0,0,0,0,75.0,100.0"}},
     "",
     {"No serial number is in doubt or broken off."}},
    {"days, from a time on",
     ReportGroup::Day,
     kShiftRows,
     {{"2026-12-07", "2026-12-07,2,2,2,0,0,0,0,50.0,100.0"},
      {"2026-12-08", "2026-12-08,1,1,0,0,0,0,0,100.0,100.0"},
      {"total", "total,3,3,2,0,0,0,0,66.7,100.0"}},
     "",
     {"Pagers by day from 2026-12-07 22:00+01:00:"},
     "2026-12-07T22:00"},
    {"hours through the clock change",
     ReportGroup::Hour,
     kDstRows,
     {{"2026-10-25 02:00+02:00", "2026-10-25 02:00+02:00,1,1,1,0,0,0,0,100.0,100.0"},
      {"2026-10-25 02:00+01:00", "2026-10-25 02:00+01:00,2,1,1,1,0,0,0,50.0,50.0"},
      {"total", "total,3,2,2,1,0,0,0,66.7,66.7"}},
     "AB12CD0003 broken off,",
     {}},
    {"the shift across the clock change",
     ReportGroup::Shift,
     kDstRows,
     {{"2026-10-24 22:00+02:00 shift", "2026-10-24 22:00+02:00 shift,3,2,2,1,0,0,0,66.7,66.7"}},
     "AB12CD0003 broken off,",
     {}},
    {"markup and formulas as typed",
     ReportGroup::Operator,
     {{kAt + "0:00+01:00", "<script>", "AB12CD0001", "reserved", "<script>", "=1+1"},
      {kAt + "1:00+01:00", "a\x1b[2Jb", "AB12CD0002", "reserved", "=1+1", "-x"},
      {kAt + "1:10+01:00", "a\x1b[2Jb", "AB12CD0002", "not finished", "=1+1", "-x"}},
     {{"-x", "'-x,1,0,0,1,0,0,0,0.0,0.0"}, {"=1+1", "'=1+1,1,0,0,0,0,0,1,0.0,0.0"}},
     "AB12CD0001 in doubt,AB12CD0002 broken off,",
     {"<script>  COM3  =1+1      <script>", "a?[2Jb    COM3  -x        =1+1"}},
};

class BerlinTime : public ::testing::Test {
  protected:
    void SetUp() override {
        putenv(const_cast<char*>("TZ=Europe/Berlin"));
        tzset();
        // 2026-10-25 00:30 and 01:30 UTC: either side of the clock change.
        if (LocalOffset(1792888200) != 7200 || LocalOffset(1792891800) != 3600) {
            GTEST_SKIP() << "this C library has no Europe/Berlin time zone";
        }
    }
};

TEST_F(BerlinTime, CountsEachPagerOnceInItsGroup) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ReportOptions options;
        options.by = c.by;
        options.since = c.since ? ParseTimeArgument(*c.since) : std::nullopt;
        const Report report = BuildReport(Rows(c.rows), options);
        const std::string text = ReportText(report, options);
        const std::string csv = ReportCsv(report, options);
        SCOPED_TRACE(text + csv);
        for (const Group& g : c.groups) {
            EXPECT_NE(csv.find("\r\n" + g.csv + "\r\n"), std::string::npos) << g.csv;
            EXPECT_EQ(TextCells(text, g.text), AsText(g.csv));
        }
        std::string unfinished;
        for (const UnfinishedPager& u : report.unfinished) {
            unfinished += u.serial + " " + u.state + ",";
        }
        EXPECT_EQ(unfinished, c.unfinished);
        for (const std::string& part : c.textHas) {
            EXPECT_NE(text.find(part), std::string::npos) << part;
        }
    }
}

// The rows in sn_rows, bound one by one, and the report the database counts.
Report DbReport(const std::string& db, const std::vector<LogRow>& rows,
                const ReportOptions& options, bool inParts) {
    odbc::Connection c;
    odbc::Diag diag;
    EXPECT_TRUE(c.Connect(db, diag)) << diag.message;
    odbc::Statement(c).Run("DELETE FROM sn_rows", {}, diag);
    for (const LogRow& r : rows) {
        EXPECT_TRUE(odbc::Statement(c).Run(
            "INSERT INTO sn_rows (time, station, port, model, serial_before, serial_written,"
            " outcome, version, operator, token) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 't')",
            {r.time, r.station, r.port, r.model, r.serialBefore, r.serialWritten, r.outcome,
             r.version, r.operatorName},
            diag))
            << diag.message;
    }
    EXPECT_TRUE(odbc::Statement(c).Run("ANALYZE sn_rows", {}, diag)) << diag.message;
    EXPECT_TRUE(c.Commit(diag)) << diag.message;
    Report report;
    std::string error;
    EXPECT_TRUE(OdbcReportSource(db, "", inParts ? 0.0 : 1e9).Build(options, report, error))
        << error;
    return report;
}

// Everything but the texts: the chart's bars and the unfinished numbers.
std::string Details(const Report& report) {
    std::string out;
    for (const HourBar& h : report.hours) {
        out += h.station + " " + std::to_string(h.hourStart) + " " +
               std::to_string(h.counts.tried) + " " + std::to_string(h.counts.numbered) + "\n";
    }
    for (const UnfinishedPager& u : report.unfinished) {
        out += u.serial + " " + u.time + " " + u.station + " " + u.port + " " + u.operatorName +
               " " + u.state + " " + u.model + "\n";
    }
    return out;
}

TEST_F(BerlinTime, DbCountsAsTheJournal) {
    const char* db = std::getenv("SNTOOL_TEST_DB");
    std::string grants, error;
    if (db == nullptr || *db == '\0') {
        GTEST_SKIP() << "SNTOOL_TEST_DB names no database";
    }
    ASSERT_TRUE(OdbcLedger::Init(db, "", "sn", grants, error)) << error;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ReportOptions options;
        options.by = c.by;
        options.since = c.since ? ParseTimeArgument(*c.since) : std::nullopt;
        const Report journal = BuildReport(Rows(c.rows), options);
        for (const bool inParts : {false, true}) {
            const Report counted = DbReport(db, Rows(c.rows), options, inParts);
            EXPECT_EQ(ReportCsv(counted, options), ReportCsv(journal, options)) << inParts;
            EXPECT_EQ(Details(counted), Details(journal)) << inParts;
        }
    }
    // Tables from before the report's columns: said, and mended by init.
    odbc::Connection c;
    odbc::Diag diag;
    ASSERT_TRUE(c.Connect(db, diag) &&
                odbc::Statement(c).Run("ALTER TABLE sn_rows DROP COLUMN step", {}, diag) &&
                c.Commit(diag))
        << diag.message;
    Report report;
    OdbcReportSource source(db, "");
    EXPECT_FALSE(source.Build(ReportOptions{}, report, error));
    EXPECT_NE(error.find("older sntool; sntool ledger init brings them up to date."),
              std::string::npos)
        << error;
    ASSERT_TRUE(OdbcLedger::Init(db, "", "sn", grants, error)) << error;
    EXPECT_TRUE(source.Build(ReportOptions{}, report, error)) << error;
}

// The file read in chunks counts as the rows in memory do; a torn last line
// is said; a missing file is named as the ledger names it, or holds no row.
TEST(ReportJournal, ReadsAFileAsTheRowsInMemory) {
    const auto path = std::filesystem::temp_directory_path() / "sntool-report-test.csv";
    const std::vector<LogRow> rows = Rows(kCases.back().rows);
    {
        std::ofstream out(path, std::ios::binary);
        out << kLogHeader << "\r\n";
        for (const LogRow& row : rows) {
            out << FormatCsvRow(row);  // the formula escapes as written
        }
        out << "2026-12-07T10:09:00+01:00,vm,CO";
    }
    ReportOptions options;
    options.by = ReportGroup::Operator;
    JournalReportSource journal({path.string()});
    Report report;
    std::string error;
    ASSERT_TRUE(journal.Build(options, report, error)) << error;
    EXPECT_EQ(journal.Notes().at(0),
              path.string() + ": 1 line is not a row (torn or damaged) and not counted");
    EXPECT_EQ(ReportCsv(report, options), ReportCsv(BuildReport(rows, options), options));
    std::filesystem::remove(path);
    EXPECT_FALSE(journal.Build(options, report, error));
    EXPECT_EQ(error,
              "The production log " + path.string() + " cannot be opened: it does not exist.");
    EXPECT_TRUE(JournalReportSource({path.string()}, true).Build(options, report, error));
}

// The status bar counts from the shift's start: in a shift that began half an
// hour ago, the pager of ten minutes ago, not the one of 45 minutes ago. In
// UTC, so that no change of the clocks falls in that hour.
TEST(ShiftCountsTest, CountFromTheShiftsStart) {
    putenv(const_cast<char*>("TZ=UTC0"));
    tzset();
    const std::int64_t now = std::time(nullptr);
    ShiftCountsSource source;
    source.station = "vm";
    source.shiftStarts = {static_cast<int>(FloorDiv(now + LocalOffset(now) - 1800, 60) % 1440)};
    ShiftCounts counts(std::move(source));
    const std::string before = FormatIso(now - 45 * 60, 0), after = FormatIso(now - 10 * 60, 0);
    for (const LogRow& row : Rows({{before, "vm", "AB12CD0001", "reserved"},
                                   {before, "vm", "AB12CD0001", "verified"},
                                   {after, "vm", "AB12CD0002", "reserved"},
                                   {after, "vm", "AB12CD0002", "verified"}})) {
        counts.Settled(&row);
    }
    const std::string expected = "vm: 1 numbered, 0 failed, 0 in doubt";
    for (int i = 0; i < 500 && counts.Text() != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(counts.Text(), expected);
}

}  // namespace
}  // namespace sn
