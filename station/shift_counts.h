#pragma once
// ShiftCounts: the operator's counts for the status bar, this station's
// pagers since the current shift began: numbered, failed, in doubt, and the
// next number offered. They are counted on a thread of their own, at the
// start, after every settlement and when a shift begins, so that reading the
// journals never holds up a window; the window only copies the latest text.
//
// With journals or the database the counts come from their rows (a
// settlement recorded by another process of this station counts too);
// without either they come from this run's own settlements as they are
// reported.
//
// Threads: see docs/threads.md (the shift counts).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ledger/journal.h"
#include "ledger/ledger.h"
#include "report/report_source.h"

namespace sn {

struct ShiftCountsSource {
    std::string station;
    // The journals, or the database (the stations' rows are there, not in
    // the journals); none: count the settlements reported.
    std::unique_ptr<ReportSource> rows;
    Ledger* ledger = nullptr;  // the next number's free one
    // Where the number sequence goes on; none: no number is offered.
    std::function<std::optional<Serial>()> next;
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
    // False when the rows could not be read (the last text stays).
    bool Count(std::int64_t shiftStart, std::string& text);
    Report CountReported(const ReportOptions& options);
    std::string NextFree() const;

    ShiftCountsSource source_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool wanted_ = true;
    bool stop_ = false;
    std::string text_;
    std::vector<LogRow> rows_;  // this run's settlements, without a source
    std::thread thread_;
};

// "vm | shift: 12 numbered, 1 failed, 0 in doubt | next AB12CD0013";
// "failed" takes every pager that kept no number for a fault (a refused
// model or a numbered pager is no failure).
std::string CountsText(const std::string& station, const ReportCounts& counts,
                       const std::string& next);
// The counts with the database's spool when settlements wait in it.
std::string WithSpool(const std::string& counts, int spooled);

}  // namespace sn
