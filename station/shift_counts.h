#pragma once
// ShiftCounts: the operator's counts for the status bar, this station's
// pagers since the current shift began: numbered, failed, in doubt, and the
// next number offered. They are counted on a thread of their own, at the
// start, after every settlement and when a shift begins, so that reading the
// journals never holds up a window; the window only copies the latest text.
//
// With journals the counts come from them (a settlement recorded by another
// process of this station counts too); without one they come from this
// run's own settlements as they are reported.
//
// Threads: see docs/threads.md (the shift counts).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ledger/journal.h"
#include "ledger/ledger.h"
#include "report/report.h"

namespace sn {

struct ShiftCountsSource {
    std::string station;
    std::vector<std::string> journals;  // none: count the settlements reported
    // The database counts for itself (the stations' rows are there, not in
    // the journals); false when it cannot be reached.
    std::function<bool(const ReportOptions&, Report&)> report;
    Ledger* ledger = nullptr;  // the next number's free one
    // Where the number sequence goes on; none: no number is offered.
    std::function<std::optional<std::string>()> next;
    std::vector<int> shiftStarts = ReportOptions{}.shiftStarts;
};

class ShiftCounts {
  public:
    explicit ShiftCounts(ShiftCountsSource source);
    ShiftCounts(const ShiftCounts&) = delete;
    ShiftCounts& operator=(const ShiftCounts&) = delete;
    ~ShiftCounts();

    // A settlement was recorded (`row`), or the ledger has been read (none):
    // the counts are taken again.
    void Settled(const LogRow* row);
    // The latest counts, "" until they are first known.
    std::string Text() const;

  private:
    void Run();
    // False when a journal could not be read (the last text stays).
    bool Count(std::int64_t shiftStart, std::string& text);
    bool AddRows(ReportBuilder& builder);
    std::string NextFree() const;

    ShiftCountsSource source_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool wanted_ = true;
    bool stop_ = false;
    std::string text_;
    std::vector<LogRow> rows_;  // this run's settlements, without a journal
    std::thread thread_;
};

// The local start of the shift that `utc` falls in: the last start before
// it that day, else the day before's last one (it runs past midnight).
std::int64_t ShiftStartAt(std::int64_t utc, const std::vector<int>& starts);
// "vm | shift: 12 numbered, 1 failed, 0 in doubt | next AB12CD0013";
// "failed" takes every pager that kept no number for a fault (a refused
// model or a numbered pager is no failure).
std::string CountsText(const std::string& station, const ReportCounts& counts,
                       const std::string& next);
// The counts with the database's spool when settlements wait in it.
std::string WithSpool(const std::string& counts, int spooled);

}  // namespace sn
