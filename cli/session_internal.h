#pragma once
// The command line's Session: one run of sntool over a CStation. Its steps
// live in three files: session.cpp (the wiring, the waits for a pager, the
// single writes and the ledger listing), batch.cpp (numbering one pager
// after another) and pager_area.cpp (reading the information area, printing
// it, verifying a write).

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "cli/console_form.h"
#include "cli/console_reporter.h"
#include "cli/session.h"
#include "cli/trace_writer.h"
#include "ledger/ledger.h"
#include "station/station.h"
#include "workflow/pager_reader.h"

namespace sn::cli {

using Clock = std::chrono::steady_clock;

// What one pager came to: the exit code a single write gives, the ledger's
// outcome text, and the transaction as the view recorded it.
struct PagerResult {
    int code = 0;
    std::string outcome;
    TransactionRecord record;
};

struct BatchTally {
    int written = 0;
    int skipped = 0;
    int failed = 0;
    double seconds = 0;
};

int RefusalExit(const Refusal& refusal);

class Session {
  public:
    Session(const Options& o, std::ostream& out, std::ostream& err);
    int Run();

  private:
    bool SetUp();
    int Ports();
    int Status();
    int Read();
    int Write();
    int Resume();
    int LedgerCommand();
    int Report();  // sntool report: the journals' pagers counted (report_command.cpp)
    int ListLedger();
    int InitDatabase();
    int SyncSpool();
    bool LedgerChoice(LedgerOptions& where, std::string& error);
    int Verify();
    TickOutcome WaitForPager();
    // Ticks the monitor as the window's timer would (or every `periodMs`)
    // until `done` holds for a tick's outcome, the time is up, or Ctrl+C
    // came. The first tick comes one period after the call.
    TickOutcome TickUntil(const std::function<bool(TickOutcome)>& done,
                          std::optional<int> periodMs = std::nullopt);
    int TimeoutExit(TickOutcome last);
    int Interrupted();
    bool OpenLedger();
    std::optional<int> Guard(const std::string& serial);
    // Starts a transaction with `start`, waits for it, verifies a written
    // pager when asked to, and reads what became of the pager.
    PagerResult Transact(const std::function<void()>& start);
    PagerResult WriteSeated(const std::string& serial);
    // Ctrl+C from here on waits for the write; false when it came before.
    bool BeginWriting();
    void EndWriting();
    int Batch();
    int BatchPager(std::string& position, BatchTally& tally, int& numbered);
    int BatchSkip(const std::string& position, BatchTally& tally);
    void BatchLine(const std::string& serial, const PagerResult& r, const char* note,
                   double seconds);
    bool WaitForNextPager(bool numberedNow);
    void WatchInterrupt();
    BlockReadResult ReadArea();
    void PrintArea(const std::vector<std::uint8_t>& bytes);

    CVexloView& View() { return *station_.View(); }
    LedgerHooks& Hooks() { return *station_.Hooks(); }

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    ConsoleForm form_;
    ConsoleReporter reporter_;
    std::unique_ptr<std::ofstream> traceFile_;
    std::unique_ptr<TraceWriter> tracer_;
    CStation station_{&reporter_};
    bool duplicateNoted_ = false;
    Clock::time_point lastTickStart_;
    // Ctrl+C: `writing_` keeps it from cutting a write short.
    std::mutex interruptMutex_;
    bool writing_ = false;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> watchOver_{false};
};

}  // namespace sn::cli
