#pragma once
// The command line's Session: one run of sntool over a CStation and its
// cradle's engine. Its steps live in six files: session.cpp (the wiring, the
// ticks that wait for a pager), write_commands.cpp (write and resume, and
// their ledger), batch.cpp (numbering one pager after another),
// pager_area.cpp (reading the information area and printing it),
// ledger_commands.cpp (listing the ledger, a database's tables and spool) and
// report_command.cpp (the supervisor's report).

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "cli/console_output.h"
#include "cli/console_reporter.h"
#include "cli/session.h"
#include "cli/trace_writer.h"
#include "ledger/ledger.h"
#include "station/station.h"

namespace sn::cli {

using Clock = std::chrono::steady_clock;

struct BatchTally {
    int written = 0;
    int skipped = 0;
    int failed = 0;
    double seconds = 0;
};

int RefusalExit(const Refusal& refusal);
// The exit code for what became of a pager.
int OutcomeExit(const PagerResult& result);
// "Verify: mismatch at 0x0110: written 0x41, read back 0xFF"
std::string MismatchLine(const Mismatch& mismatch);

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
    TickOutcome WaitForPager();
    // Ticks the monitor as the window's timer would, once a second, until
    // `done` holds for a tick's outcome, the time is up, or Ctrl+C came. The
    // first tick comes one period after the call.
    TickOutcome TickUntil(const std::function<bool(TickOutcome)>& done);
    int TimeoutExit(TickOutcome last);
    int Interrupted();
    bool OpenLedger();
    std::optional<int> Guard(const Serial& serial);
    // Writes `serial` into the seated pager (a resume: again), verifies it
    // when asked to, and says what became of it.
    PagerResult Transact(const Serial& serial, bool resume);
    int WriteExit(const PagerResult& result);
    // Ctrl+C from here on waits for the write; false when it came before.
    bool BeginWriting();
    void EndWriting();
    int Batch();
    int BatchPager(Serial& position, BatchTally& tally, int& numbered);
    int BatchSkip(const Serial& position, BatchTally& tally);
    void BatchLine(const Serial& serial, const std::string& model, const std::string& outcome,
                   const char* note, double seconds);
    bool WaitForNextPager(bool numberedNow);
    void WatchInterrupt();
    // The seated pager's area and its mirror, once a pager answers; nothing,
    // with the error told and `code` the exit, when none does or the read fails.
    std::optional<PagerArea> SeatedArea(int& code);
    void PrintArea(const PagerArea& area);

    CradleEngine& Engine() { return station_.Engine(); }
    LedgerHooks& Hooks() { return *station_.Hooks(); }

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    ConsoleOutput console_;
    ConsoleReporter reporter_;
    std::unique_ptr<std::ofstream> traceFile_;
    std::unique_ptr<TraceWriter> tracer_;
    CStation station_{&reporter_};
    bool duplicateNoted_ = false;
    TickOutcome lastTick_ = TickOutcome::None;
    Clock::time_point lastTickStart_;
    // Ctrl+C: `writing_` keeps it from cutting a write short.
    std::mutex interruptMutex_;
    bool writing_ = false;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> watchOver_{false};
};

}  // namespace sn::cli
