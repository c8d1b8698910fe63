#pragma once
// CStation: one cradle station, wired the way every face uses it. It builds
// the cradle's port source (the system's ports, a port named on the command
// line, or the simulated cradle), the serial link, the clock, the port
// choice and the cradle's engine; a window's CVexloView over its form; and,
// for production use, the ledger and the hooks through which the engine's
// transactions reach it. A face only adds its form (or, on a command line,
// its own presentation of the engine's outcomes), its reporter for the
// link's messages and its way of ticking.
//
// Threads: see docs/threads.md. Set up and shut down on the face's main
// thread. Shutdown lets a running transaction finish (its row recorded),
// then ends the ticks, the ledger's reading thread and the link, in that
// order. The form must outlive the station's Shutdown.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger/journal_ledger.h"
#include "ledger/ledger_hooks.h"
#include "ports/port_source.h"
#include "ports/ser_info.h"
#include "serial/link_reporter.h"
#include "serial/serial_link.h"
#include "sim/simulated_cradle.h"
#include "station/shift_counts.h"
#include "workflow/clock.h"
#include "workflow/cradle_engine.h"
#include "workflow/tick_runner.h"
#include "workflow/vexlo_view.h"

namespace sn {

// Where the production ledger is: the CSV journals, or a database that the
// stations of a line share (the journals then take the rows as a record).
struct LedgerOptions {
    std::vector<std::string> logs;  // rows to the first; none: the ledger lasts for the run
    std::string db;                 // an ODBC connection string
    std::string dbPassword;         // from --db-password-file, never on the command line
    std::string spoolPath;          // "": spool.csv in the user's data folder
};

// The ledger a face's options name: the journals, the database with the
// password read from `passwordFile` ("": none), and the operator of every
// row (none: the user logged in). False, with `error` set, when the password
// file cannot be read.
bool ChooseLedger(std::vector<std::string> logs, std::string db, const std::string& passwordFile,
                  const std::optional<std::string>& operatorName, LedgerOptions& options,
                  std::string& error);
// The ledger `options` name (its Open says whether it can be used).
std::unique_ptr<Ledger> MakeLedger(const LedgerOptions& options);
// The database ledger's settlements waiting in its spool, or 0.
int SpooledSettlements(Ledger& ledger);
// The status bar's idle text: "Ready", and the settlements waiting in the
// spool when there are any.
std::string IdleText(int spooled);
// Sends them now (sntool ledger sync): false with `error` when the database
// cannot be reached.
bool DeliverSpool(Ledger& ledger, int& delivered, std::string& error);

// A window's production use; none of them: nothing is saved, nothing offered.
struct ProductionOptions {
    std::vector<std::string> logs;            // --log FILE, rows to the first
    std::string db;                           // --db CONNECTION: the ledger is this database
    std::string dbPasswordFile;               // --db-password-file FILE
    std::optional<std::string> operatorName;  // --operator NAME
    std::optional<Serial> nextFrom;           // --next-from SERIAL
    bool enterWrites = false;                 // --enter-writes
};

struct CradleOptions {
    std::string port;       // --port: the cradle is this port
    bool simulate = false;  // --simulate: the simulated cradle
    std::string simModel;   // its pager's model code ("" for the default)
    bool simNumbered = false;
    // A pager given its number makes way for a fresh one this much later.
    std::optional<std::chrono::milliseconds> swapAfter;
    std::unique_ptr<PortSource> source;  // in place of all of these (tests)
};

class CStation {
  public:
    // `reporter` shows the link's own messages; it must outlive the station.
    explicit CStation(LinkReporter* reporter);
    CStation(const CStation&) = delete;
    CStation& operator=(const CStation&) = delete;
    ~CStation();

    // The cradle's ports; false, with the reason in `error`, when the
    // simulated cradle cannot be started.
    bool SetUpCradle(CradleOptions options, std::string& error);
    // The window's view over `form`, once the cradle is set up.
    CVexloView& MakeView(FormView& form);
    // Production use: the ledger `options` name, and with `nextFrom` the
    // next free number from there is offered to each ready pager. The hooks
    // are the engine's from now on; `notice` tells the ledger's own messages.
    LedgerHooks& UseLedger(LedgerHooks::Notice notice, const LedgerOptions& options,
                           std::optional<Serial> nextFrom = std::nullopt);
    // A window's production use, once the view is made: the ledger when a
    // journal, a database or a next number is asked for (without a journal
    // or a database it lasts as long as the window), its messages in boxes
    // on `form`, and Enter's meaning. False, with `error` set, when the
    // password file cannot be read.
    bool UseProduction(FormView& form, const ProductionOptions& options, std::string& error);
    // The status bar's idle text: with a ledger the operator's counts (see
    // ShiftCounts), else IdleText. Copies what another thread counted: no
    // I/O, for the window's thread.
    std::string StatusText() const;
    // Reads a journal or a database away from the window's thread; a
    // problem with it comes as a box. For a window that is up.
    void PreloadLedger();
    // The monitor's ticks on a thread of their own (the windows): the
    // returned function is what the form's timer calls.
    std::function<void()> TickOnThread();
    // The ticks run on a thread of the station's (see TickOnThread).
    TickRunner* Ticks() { return runner_.get(); }
    // After the face has begun the close and made its boxes return: waits
    // for a running transaction, then stops the ticks, the ledger's reading
    // thread and the link.
    void Shutdown();

    CSerialLink& Link() { return link_; }
    LinkState& State() { return state_; }
    SystemClock& Clock() { return clock_; }
    PortSelection& Selection() { return selection_; }
    PortSource& Source() { return *source_; }
    sim::SimulatedCradle* Cradle() { return cradle_.get(); }
    // The cradle's engine, once the cradle is set up.
    CradleEngine& Engine() { return *engine_; }
    CVexloView* View() { return view_.get(); }
    sn::Ledger* Ledger() { return ledger_.get(); }
    LedgerHooks* Hooks() { return hooks_.get(); }

  private:
    std::unique_ptr<SerialPort> MakePort();
    void CountShift(const LedgerOptions& options);

    std::unique_ptr<sim::SimulatedCradle> cradle_;
    std::unique_ptr<PortSource> source_;
    LinkState state_;
    CSerialLink link_;
    SystemClock clock_;
    PortSelection selection_;
    std::unique_ptr<CradleEngine> engine_;
    std::unique_ptr<CVexloView> view_;
    std::unique_ptr<TickRunner> runner_;
    std::unique_ptr<sn::Ledger> ledger_;
    std::unique_ptr<LedgerHooks> hooks_;
    std::unique_ptr<ShiftCounts> counts_;  // a window's, with a ledger
    bool shutDown_ = false;
    bool preload_ = false;  // the ledger is a journal or a database
};

}  // namespace sn
