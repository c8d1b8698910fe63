#pragma once
// ReportSource: where the report's rows are counted from. The journals are
// read here, row by row; the database counts its own rows in SQL
// (database/odbc_report.h), so that they never cross the connection. Either
// serves sntool report and the status bar's shift counts alike, and neither
// needs the ledger that records the rows.
//
// Threads: one Build at a time (docs/threads.md, the shift counts).

#include <string>
#include <vector>

#include "report/report.h"

namespace sn {

class ReportSource {
  public:
    virtual ~ReportSource() = default;
    // The report over the rows as they are now; false, with the reason worded
    // for the user, when they cannot be read.
    virtual bool Build(const ReportOptions& options, Report& report, std::string& error) = 0;
    // What the last Build left out, a sentence each for the user.
    virtual std::vector<std::string> Notes() const { return {}; }
};

// The rows of CSV journals, read afresh at every Build.
class JournalReportSource final : public ReportSource {
  public:
    // `missingIsEmpty`: a journal not there yet holds no row (a station
    // before its first pager), rather than being one that cannot be opened.
    explicit JournalReportSource(std::vector<std::string> paths, bool missingIsEmpty = false);

    bool Build(const ReportOptions& options, Report& report, std::string& error) override;
    // The lines of each journal that are not rows (torn or damaged).
    std::vector<std::string> Notes() const override { return notes_; }

  private:
    std::vector<std::string> paths_;
    bool missingIsEmpty_;
    std::vector<std::string> notes_;
};

}  // namespace sn
