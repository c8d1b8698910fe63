#include "cli/session.h"

#include <thread>

#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/os_hints.h"
#include "cli/session_internal.h"
#include "ports/port_report.h"

namespace sn::cli {

Session::Session(const Options& o, std::ostream& out, std::ostream& err)
    : o_(o), out_(out), err_(err), console_(out, err, StdoutIsTerminal()), reporter_(err, [this] {
          return station_.Link().m_strPort;
      }) {}

// The station as the command asks for it: the system's ports, a named port or
// the simulated cradle, the trace, the engine telling the console.
bool Session::SetUp() {
    CradleOptions cradle;
    cradle.port = o_.port;
    cradle.simulate = o_.simulate;
    cradle.simModel = o_.simModel;
    cradle.simNumbered = o_.simNumbered;
    if (o_.command == "batch") {
        // A fresh pager after each write, once the verify read is done.
        cradle.swapAfter = std::chrono::milliseconds(2000);
    }
    std::string why;
    if (!station_.SetUpCradle(std::move(cradle), why)) {
        err_ << "sntool: cannot start the virtual cradle: " << why << "\n";
        return false;
    }
    if (o_.trace) {
        std::ostream* sink = &err_;
        if (!o_.trace->empty()) {
            traceFile_ = std::make_unique<std::ofstream>(*o_.trace);
            if (!*traceFile_) {
                err_ << "sntool: cannot write the trace to " << *o_.trace << "\n";
                return false;
            }
            sink = traceFile_.get();
        }
        tracer_ = std::make_unique<TraceWriter>(*sink);
        station_.Link().SetTracer(tracer_.get());
    }
    return true;
}

int Session::Run() {
    if (o_.command == "report") {
        return Report();  // reads journals only: no cradle
    }
    const bool production =
        o_.command == "write" || o_.command == "batch" || o_.command == "resume";
    if ((o_.command == "resume" || o_.command == "ledger") && o_.logs.empty() && o_.db.empty()) {
        err_ << "sntool: " << o_.command
             << " needs the production log: --log FILE (the one the writes went to) or --db\n";
        return kExitUsage;
    }
    if (o_.command == "ledger" && !o_.ledgerAction.empty() && o_.ledgerAction != "list" &&
        o_.db.empty()) {
        err_ << "sntool: ledger " << o_.ledgerAction << " needs the database: --db CONNECTION\n";
        return kExitUsage;
    }
    if (o_.command == "ledger") {
        return LedgerCommand();
    }
    if (!SetUp()) {
        return kExitOther;
    }
    if (o_.command == "ports") {
        return Ports();
    }
    Engine().SetObserver(&console_);
    int code = kExitOther;
    if (production && !OpenLedger()) {
        code = kExitLedger;
    } else if (o_.command == "status") {
        code = Status();
    } else if (o_.command == "read") {
        code = Read();
    } else if (production) {
        InterruptGuard guard;
        std::thread watcher([this] { WatchInterrupt(); });
        code = o_.command == "write" ? Write() : o_.command == "batch" ? Batch() : Resume();
        watchOver_ = true;
        watcher.join();
    }
    station_.Shutdown();
    console_.EndProgressLine();
    return code;
}

int Session::Ports() {
    try {
        const auto ports = ReportPorts(station_.Source());
        if (ports.empty()) {
            out_ << "No serial ports found.\n";
        }
        for (const auto& p : ports) {
            out_ << p.portName << "\t" << (p.isBridge ? "cradle bridge" : "other") << "\t"
                 << p.friendlyName << "\n";
        }
        return kExitDone;
    } catch (const std::exception& e) {
        err_ << e.what() << "\n";
        return kExitOther;
    }
}

// Ticks the monitor as the window's timer would, until a pager answers or
// the time is up. The first tick comes one period after start, as in the window.
TickOutcome Session::WaitForPager() {
    return TickUntil([](TickOutcome outcome) {
        return outcome == TickOutcome::Ready || outcome == TickOutcome::AlreadyNumbered;
    });
}

TickOutcome Session::TickUntil(const std::function<bool(TickOutcome)>& done) {
    constexpr auto kPeriod = std::chrono::milliseconds(1000);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(o_.timeoutSeconds));
    auto last = Clock::now();
    for (bool first = true;; first = false) {
        const auto next = last + kPeriod;
        if (!first && next > deadline) {
            return lastTick_;
        }
        // In slices, so that Ctrl+C ends the wait at once.
        while (Clock::now() < next && !interrupted_.load()) {
            std::this_thread::sleep_until(
                std::min(next, Clock::now() + std::chrono::milliseconds(20)));
        }
        if (interrupted_.load()) {
            return lastTick_;
        }
        last = Clock::now();
        lastTickStart_ = last;
        const TickResult tick = Engine().Tick();
        console_.ShowTick(tick);
        lastTick_ = tick.outcome;
        if (done(lastTick_)) {
            return lastTick_;
        }
    }
}

int Session::TimeoutExit(TickOutcome last) {
    if (interrupted_.load()) {
        return Interrupted();
    }
    switch (last) {
        case TickOutcome::NotConnected:
            err_ << "sntool: no cradle found within " << o_.timeoutSeconds << " s\n";
            return kExitNoCradle;
        case TickOutcome::NoPager:
            err_ << "sntool: no pager answered within " << o_.timeoutSeconds << " s\n";
            return kExitNoPager;
        case TickOutcome::AlreadyNumbered:
            return kExitNumbered;
        default:
            err_ << "sntool: the cradle could not be used within " << o_.timeoutSeconds << " s\n";
            return kExitOther;
    }
}

int Session::Interrupted() {
    err_ << "sntool: interrupted\n";
    return kExitInterrupted;
}

int Session::Status() {
    const TickOutcome outcome = WaitForPager();
    if (outcome == TickOutcome::Ready) {
        console_.Say("Ready: the pager has no serial number yet.");
        return kExitDone;
    }
    return TimeoutExit(outcome);
}

bool Session::BeginWriting() {
    std::lock_guard lock(interruptMutex_);
    writing_ = !interrupted_.load();
    return writing_;
}

void Session::EndWriting() {
    std::lock_guard lock(interruptMutex_);
    writing_ = false;
}

// Ctrl+C while no write runs cancels the clock, so that a tick under way
// ends at once; during a write it waits until the write (and its row) is
// done.
void Session::WatchInterrupt() {
    while (!watchOver_.load()) {
        if (InterruptRequested()) {
            std::lock_guard lock(interruptMutex_);
            if (!writing_ && !interrupted_.load()) {
                interrupted_ = true;
                station_.Clock().Cancel();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int RunSession(const Options& options, std::ostream& out, std::ostream& err) {
    Session session(options, out, err);
    return session.Run();
}

}  // namespace sn::cli
