#include "station/shift_counts.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "report/report_time.h"

namespace sn {

namespace {

// A shift's change is seen this often when no pager comes.
constexpr auto kRecheck = std::chrono::seconds(30);
// A journal locked or cut off mid-row is read again this much later.
constexpr auto kRetry = std::chrono::seconds(1);

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::string CountsText(const std::string& station, const ReportCounts& counts,
                       const std::string& next) {
    // Short enough for the status bar of the window's fixed size, next
    // number included: "vm: 12 numbered, 1 failed, 0 in doubt, next AB12CD0013".
    std::string text = station + ": " + std::to_string(counts.numbered) + " numbered, " +
                       std::to_string(counts.failed + counts.released) + " failed, " +
                       std::to_string(counts.inDoubt) + " in doubt";
    return next.empty() ? text : text + ", next " + next;
}

std::string WithSpool(const std::string& counts, int spooled) {
    if (spooled <= 0) {
        return counts;
    }
    return counts + ", " + std::to_string(spooled) + " waiting for the database";
}

ShiftCounts::ShiftCounts(ShiftCountsSource source)
    : source_(std::move(source)), thread_([this] { Run(); }) {}

ShiftCounts::~ShiftCounts() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ShiftCounts::Settled(const LogRow* row) {
    {
        std::lock_guard lock(mutex_);
        if (row != nullptr && !source_.rows) {
            rows_.push_back(*row);
        }
        wanted_ = true;
    }
    wake_.notify_all();
}

std::string ShiftCounts::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void ShiftCounts::Run() {
    std::unique_lock lock(mutex_);
    std::int64_t counted = INT64_MIN;  // the shift the text is of
    bool failed = false;
    for (;;) {
        wake_.wait_for(lock, failed ? kRetry : kRecheck, [this] { return stop_ || wanted_; });
        if (stop_) {
            return;
        }
        const std::int64_t now = Now();
        const std::int64_t start = ShiftStartAt(now, LocalOffset(now), source_.shiftStarts);
        if (!wanted_ && !failed && start == counted) {
            continue;
        }
        wanted_ = false;
        lock.unlock();
        std::string text;
        failed = !Count(start, text);
        lock.lock();
        if (!failed) {
            text_ = std::move(text);
            counted = start;
        }
    }
}

bool ShiftCounts::Count(std::int64_t shiftStart, std::string& text) {
    ReportOptions options;
    options.since = shiftStart;
    options.shiftStarts = source_.shiftStarts;
    // The next number is looked up first: that look delivers the database
    // ledger's spool, so that the settlements waiting there are counted too.
    const std::string next = NextFree();
    Report report;
    std::string error;
    if (!source_.rows) {
        report = CountReported(options);
    } else if (!source_.rows->Build(options, report, error)) {
        return false;
    }
    ReportCounts counts;
    for (const ReportRow& row : report.rows) {
        if (row.group == source_.station) {
            counts = row.counts;  // the journals may hold other stations' rows
        }
    }
    text = CountsText(source_.station, counts, next);
    return true;
}

Report ShiftCounts::CountReported(const ReportOptions& options) {
    ReportBuilder builder(options);
    std::lock_guard lock(mutex_);
    for (const LogRow& row : rows_) {
        builder.Add(row);
    }
    return builder.Finish();
}

std::string ShiftCounts::NextFree() const {
    const std::optional<Serial> from = source_.next ? source_.next() : std::nullopt;
    if (!from || source_.ledger == nullptr) {
        return std::string();
    }
    std::string why;
    const auto free = source_.ledger->NextFree(*from, why);
    return free ? free->Text() : std::string();
}

}  // namespace sn
