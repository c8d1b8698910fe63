#include "cli/session.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "cli/console_form.h"
#include "cli/console_reporter.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/os_hints.h"
#include "cli/simulated_cradle.h"
#include "cli/trace_writer.h"
#include "ports/explicit_port_source.h"
#include "ports/list_serial_ports.h"
#include "ports/port_report.h"
#include "ports/system_port_source.h"
#include "production/journal_ledger.h"
#include "production/production_hooks.h"
#include "production/serial_sequence.h"
#include "protocol/checksum.h"
#include "protocol/pager_memory.h"
#include "serial/serial_link.h"
#include "sim/substitute_pager.h"
#include "workflow/key_filter.h"
#include "workflow/pager_reader.h"
#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn::cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::array<unsigned, 4> kAreaBlocks = {4, 5, 240, 241};

std::string Hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
    return buf;
}

char Printable(std::uint8_t b) {
    return (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
}

// The offset of the first byte where the mirror (second half of the read)
// differs from the information area, or kInfoAreaSize when they match.
std::size_t FirstMirrorDifference(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < kInfoAreaSize; ++i) {
        if (bytes[i] != bytes[kInfoAreaSize + i]) {
            return i;
        }
    }
    return kInfoAreaSize;
}

// What one pager came to: the exit code a single write gives, the ledger's
// outcome text, and the transaction as the view recorded it.
struct PagerResult {
    int code = kExitOther;
    std::string outcome;
    TransactionRecord record;
};

struct BatchTally {
    int written = 0;
    int skipped = 0;
    int failed = 0;
    double seconds = 0;
};

int RefusalExit(const Refusal& refusal) {
    switch (refusal.kind) {
        case Refusal::Kind::Duplicate:
            return kExitDuplicate;
        case Refusal::Kind::Unusable:
            return kExitLedger;
        case Refusal::Kind::NotResumable:
            return kExitNumbered;
    }
    return kExitOther;
}

bool UsesNumber(const std::string& outcomeText) {
    const auto effect = OutcomeEffect(outcomeText);
    return effect == RowEffect::UseFinished || effect == RowEffect::UseBroken;
}

std::string Typed(const std::string& serial) {
    std::string typed;
    for (char c : serial) {
        typed.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    return typed;
}

class Session {
  public:
    Session(const Options& o, std::ostream& out, std::ostream& err)
        : o_(o), out_(out), err_(err), form_(out, err, StdoutIsTerminal()), reporter_(err, [this] {
              return link_.m_strPort;
          }) {}

    int Run();

  private:
    bool SetUpSource();
    std::unique_ptr<SerialPort> MakePort();
    int Ports();
    int Status();
    int Read();
    int Write();
    int Resume();
    int ListLedger();
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

    const Options& o_;
    std::ostream& out_;
    std::ostream& err_;
    ConsoleForm form_;
    ConsoleReporter reporter_;
    std::unique_ptr<SimulatedCradle> cradle_;
    std::unique_ptr<PortSource> source_;
    std::unique_ptr<std::ofstream> traceFile_;
    std::unique_ptr<TraceWriter> tracer_;
    LinkState state_;
    CSerialLink link_{state_, &reporter_, [this] { return MakePort(); }};
    SystemClock clock_;
    PortSelection selection_;
    std::unique_ptr<CVexloView> view_;
    std::unique_ptr<JournalLedger> ledger_;
    std::unique_ptr<ProductionHooks> hooks_;
    bool duplicateNoted_ = false;
    Clock::time_point lastTickStart_;
    // Ctrl+C: `writing_` keeps it from cutting a write short.
    std::mutex interruptMutex_;
    bool writing_ = false;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> watchOver_{false};
};

bool Session::SetUpSource() {
    if (o_.simulate) {
        const std::string model =
            o_.simModel.empty() ? std::string(sim::SubstitutePager::kDefaultModel) : o_.simModel;
        std::string why;
        cradle_ = StartSimulatedCradle(model, o_.simNumbered, why);
        if (!cradle_) {
            err_ << "sntool: cannot start the virtual cradle: " << why << "\n";
            return false;
        }
        source_ = cradle_->MakeSource();
    } else if (!o_.port.empty()) {
        source_ = std::make_unique<ExplicitPortSource>(o_.port);
    } else {
        source_ = MakeSystemPortSource();
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
        link_.SetTracer(tracer_.get());
    }
    return true;
}

std::unique_ptr<SerialPort> Session::MakePort() {
    std::unique_ptr<SerialPort> port = cradle_ ? cradle_->MakePort() : nullptr;
    return port ? std::move(port) : MakeSystemSerialPort();
}

int Session::Run() {
    const bool production =
        o_.command == "write" || o_.command == "batch" || o_.command == "resume";
    if ((o_.command == "resume" || o_.command == "ledger") && o_.logs.empty()) {
        err_ << "sntool: " << o_.command
             << " needs the production log: --log FILE (the one the writes went to)\n";
        return kExitUsage;
    }
    if (o_.command == "ledger") {
        return ListLedger();
    }
    if (!SetUpSource()) {
        return kExitOther;
    }
    if (o_.command == "ports") {
        return Ports();
    }
    view_ = std::make_unique<CVexloView>(form_, link_, *source_, clock_, selection_);
    form_.Attach(view_.get());
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
    view_->Shutdown();
    form_.EndProgressLine();
    return code;
}

int Session::Ports() {
    try {
        const auto ports = ReportPorts(*source_);
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
    view_->OnInitialUpdate();
    return TickUntil([](TickOutcome outcome) {
        return outcome == TickOutcome::Ready || outcome == TickOutcome::AlreadyNumbered;
    });
}

TickOutcome Session::TickUntil(const std::function<bool(TickOutcome)>& done,
                               std::optional<int> periodMs) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(o_.timeoutSeconds));
    auto last = Clock::now();
    for (bool first = true;; first = false) {
        const auto period = periodMs.value_or(form_.TimerPeriod().value_or(1000));
        const auto next = last + std::chrono::milliseconds(period);
        if (!first && next > deadline) {
            return view_->LastTickOutcome();
        }
        // In slices, so that Ctrl+C ends the wait at once.
        while (Clock::now() < next && !interrupted_.load()) {
            std::this_thread::sleep_until(
                std::min(next, Clock::now() + std::chrono::milliseconds(20)));
        }
        if (interrupted_.load()) {
            return view_->LastTickOutcome();
        }
        last = Clock::now();
        lastTickStart_ = last;
        view_->OnTimer(0);
        const TickOutcome outcome = view_->LastTickOutcome();
        if (done(outcome)) {
            return outcome;
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
        form_.Say("Ready: the pager has no serial number yet.");
        return kExitDone;
    }
    return TimeoutExit(outcome);
}

BlockReadResult Session::ReadArea() {
    state_.replyStatus = kReplyNone;
    link_.RenewReplyEvent();
    if (link_.IsOpen() == 0 && link_.Open(view_->LastPortName(), 57600, 8, 2, 0) == 0) {
        return {"sntool: the cradle's port could not be opened again", {}};
    }
    std::atomic<bool> stopping{false};
    PagerExchange exchange(link_, clock_, stopping);
    form_.ShowProgress(true);
    BlockReadResult r =
        ReadPagerBlocks(exchange, kAreaBlocks, [this](int p) { form_.SetProgress(p); });
    form_.ShowProgress(false);
    link_.Close();
    return r;
}

void Session::PrintArea(const std::vector<std::uint8_t>& bytes) {
    const auto at = [&](std::size_t address) {
        return address >= kMirrorAreaStart ? bytes[address - kMirrorAreaStart + kInfoAreaSize]
                                           : bytes[address - kInfoAreaStart];
    };
    std::string serial;
    bool blank = true;
    for (std::size_t i = 0; i < kSerialLength; ++i) {
        const std::uint8_t b = at(kSerialAddress + i);
        blank = blank && b == 0xFF;
        serial += Printable(b);
    }
    std::string model;
    for (std::size_t i = 0; i < kModelCodeMaxLength && at(kModelCodeAddress + i) != 0xFF; ++i) {
        model += Printable(at(kModelCodeAddress + i));
    }
    const std::uint8_t stored = at(kInfoChecksumAddress);
    const std::uint8_t sum =
        SumChecksum(std::span(bytes).first(kInfoChecksumAddress - kInfoAreaStart));
    const std::size_t mirrorDiff = FirstMirrorDifference(bytes);
    form_.Say("Serial number: " + (blank ? std::string("(none)") : serial));
    form_.Say("Model code:    " + (model.empty() ? std::string("(none)") : model));
    form_.Say("Mark byte:     " + Hex(at(kMarkByteAddress), 2) + " at 0x013F");
    form_.Say("Checksum:      " + Hex(stored, 2) + " at 0x015F, " +
              (stored == sum ? std::string("right")
                             : "wrong (0x0100-0x015E sum to " + Hex(sum, 2) + ")"));
    form_.Say(
        "Mirror:        " +
        (mirrorDiff == kInfoAreaSize
             ? std::string("0x3C00-0x3C7F matches the information area")
             : "differs first at " + Hex(static_cast<unsigned>(kMirrorAreaStart + mirrorDiff), 4)));
}

int Session::Read() {
    const TickOutcome outcome = WaitForPager();
    if (outcome != TickOutcome::Ready && outcome != TickOutcome::AlreadyNumbered) {
        return TimeoutExit(outcome);
    }
    const BlockReadResult r = ReadArea();
    if (!r.errorText.empty()) {
        form_.MessageBox(r.errorText, text::kCaption, BoxIcon::Stop);
        return kExitReadError;
    }
    PrintArea(r.bytes);
    return kExitDone;
}

int Session::Verify() {
    const BlockReadResult r = ReadArea();
    if (!r.errorText.empty()) {
        form_.MessageBox(r.errorText, text::kCaption, BoxIcon::Stop);
        return kExitReadError;
    }
    const auto& image = view_->pagerImage;
    for (std::size_t i = 0; i < r.bytes.size(); ++i) {
        const std::size_t address =
            i < kInfoAreaSize ? kInfoAreaStart + i : kMirrorAreaStart + (i - kInfoAreaSize);
        if (r.bytes[i] != image[address]) {
            err_ << "Verify: mismatch at " << Hex(static_cast<unsigned>(address), 4) << ": written "
                 << Hex(image[address], 2) << ", read back " << Hex(r.bytes[i], 2) << "\n";
            return kExitVerifyMismatch;
        }
    }
    if (o_.command != "batch") {  // a batch says it in the pager's line
        form_.Say("Verify: blocks 4, 5, 240 and 241 read back as written.");
    }
    return kExitDone;
}

// Every number goes through the ledger: the journal named by --log, or one
// kept in memory for this run.
bool Session::OpenLedger() {
    ledger_ = std::make_unique<JournalLedger>(o_.logs);
    std::vector<std::string> notes;
    std::string error;
    const bool ok = ledger_->Open(notes, error);
    for (const std::string& note : notes) {
        err_ << "sntool: " << note << "\n";
    }
    if (!ok) {
        err_ << "sntool: " << error << " Nothing was sent to the pager.\n";
        return false;
    }
    hooks_ = std::make_unique<ProductionHooks>(form_, *ledger_, std::nullopt);
    hooks_->SetReserveMode(o_.command == "resume" ? ReserveMode::Resume
                           : o_.allowDuplicate    ? ReserveMode::AllowDuplicate
                                                  : ReserveMode::Fresh);
    hooks_->HoldWrittenForVerify(o_.verify);
    view_->SetHooks(hooks_.get());
    return true;
}

// Before waiting for a pager: a number the ledger would refuse is refused
// at once. The reservation itself comes with the Write button.
std::optional<int> Session::Guard(const std::string& serial) {
    const auto refusal = ledger_->Check(serial, ReserveMode::Fresh);
    if (!refusal) {
        return std::nullopt;
    }
    if (refusal->kind == Refusal::Kind::Duplicate && o_.allowDuplicate) {
        // Said once, recorded in the row, and let through.
        const std::string& m = refusal->message;
        if (!duplicateNoted_) {
            err_ << "sntool: --allow-duplicate: " << m.substr(0, m.find(" Nothing was sent"))
                 << "\n";
        }
        duplicateNoted_ = true;
        return std::nullopt;
    }
    err_ << "sntool: " << refusal->message << "\n";
    return RefusalExit(*refusal);
}

PagerResult Session::Transact(const std::function<void()>& start) {
    start();
    view_->WaitForTransaction();
    PagerResult r;
    r.record = view_->LastTransaction();
    switch (r.record.end) {
        case TransactionEnd::Refused: {
            const auto refusal = hooks_->LastRefusal();
            r.code = refusal ? RefusalExit(*refusal) : kExitOther;
            return r;  // nothing was sent, nothing settled
        }
        case TransactionEnd::Written:
            r.code = kExitDone;
            break;
        case TransactionEnd::ModelRefused:
            r.code = kExitModelRefused;
            break;
        case TransactionEnd::AlreadyNumbered:
            r.code = kExitNumbered;  // seated after the monitor found a pager ready
            break;
        case TransactionEnd::ErrorBox:
            r.code =
                r.record.boxTitle.rfind("Write Error", 0) == 0 ? kExitWriteError : kExitReadError;
            break;
        case TransactionEnd::None:
            r.code = kExitOther;
            break;
    }
    if (r.record.end == TransactionEnd::Written && o_.verify) {
        const std::size_t boxes = form_.BoxTitles().size();
        r.code = Verify();
        hooks_->SettleHeld(r.code == kExitDone ? outcome::kVerified
                           : r.code == kExitVerifyMismatch
                               ? outcome::kVerifyMismatch
                               : std::string(outcome::kWritten) +
                                     " (verify: " + form_.BoxTitles().at(boxes) + ")");
    }
    r.outcome = hooks_->LastOutcome();
    if (!hooks_->LastSettleError().empty() && r.code == kExitDone) {
        r.code = kExitOther;  // written, but its row is missing: the number stays in doubt
    }
    return r;
}

// The operator's steps on a pager found ready: type, leave the field, press
// the button.
PagerResult Session::WriteSeated(const std::string& serial) {
    return Transact([&] {
        form_.SetSerialText(serial);
        view_->OnSerialKillFocus();
        view_->OnWriteButton();
    });
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

int Session::Write() {
    const std::string serial = Typed(o_.serial);
    if (const auto refused = Guard(serial)) {
        return *refused;
    }
    const TickOutcome outcome = WaitForPager();
    if (outcome != TickOutcome::Ready) {
        return TimeoutExit(outcome);
    }
    if (!BeginWriting()) {
        return Interrupted();
    }
    const PagerResult r = WriteSeated(serial);
    EndWriting();
    return r.code;
}

// The pager in the cradle holds a number whose write broke off: the same
// number is written into it again, all four blocks.
int Session::Resume() {
    const TickOutcome outcome = WaitForPager();
    if (outcome == TickOutcome::Ready) {
        err_ << "sntool: the pager holds no serial number; there is nothing to resume "
                "(give it one with sntool write)\n";
        return kExitOther;
    }
    if (outcome != TickOutcome::AlreadyNumbered) {
        return TimeoutExit(outcome);
    }
    const BlockReadResult area = ReadArea();
    if (!area.errorText.empty()) {
        form_.MessageBox(area.errorText, text::kCaption, BoxIcon::Stop);
        return kExitReadError;
    }
    const std::size_t at = kSerialAddress - kInfoAreaStart;
    const std::string held(area.bytes.begin() + static_cast<long>(at),
                           area.bytes.begin() + static_cast<long>(at + kSerialLength));
    const auto serial = CanonicalSerial(held);
    const LedgerEntry entry = serial ? ledger_->Lookup(*serial) : LedgerEntry{};
    const bool broken =
        area.bytes[kMarkByteAddress - kInfoAreaStart] == kMarkNumbered && serial == held &&
        (entry.state == NumberState::InDoubt || entry.state == NumberState::BrokenOff);
    if (!broken) {
        form_.Say(PlainLines(std::string(text::kAlreadyNumbered).substr(1)));
        err_ << "sntool: the pager's serial number is not one whose write broke off, as the "
                "production log records; it stays as it is\n";
        return kExitNumbered;
    }
    form_.Say("Resuming " + *serial + ": " + StateName(entry.state) + " since " + entry.row.time +
              " (" + entry.row.outcome + ", station " + entry.row.station + ", port " +
              entry.row.port + ").");
    if (!BeginWriting()) {
        return Interrupted();
    }
    const PagerResult r = Transact([&] { view_->ResumeWrite(*serial); });
    EndWriting();
    return r.code;
}

int Session::ListLedger() {
    // Listing makes no journal: a mistyped name is said to be missing.
    for (const std::string& path : o_.logs) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            err_ << "sntool: The production log " << path << " cannot be opened: "
                 << (std::filesystem::exists(path, ec) ? "it is not a file" : "it does not exist")
                 << ".\n";
            return kExitLedger;
        }
    }
    JournalLedger ledger(o_.logs);
    std::vector<std::string> notes;
    std::string error;
    const bool ok = ledger.Open(notes, error);
    for (const std::string& note : notes) {
        err_ << "sntool: " << note << "\n";
    }
    if (!ok && error.find(" cannot be read at line ") == std::string::npos) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    const std::vector<LedgerEntry> entries = ledger.Unfinished();
    if (entries.empty()) {
        out_ << "No serial number is in doubt or broken off.\n";
    } else {
        char line[256];
        std::snprintf(line, sizeof line, "%-10s  %-25s  %-10s  %-16s  %s\n", "serial", "time",
                      "state", "station", "port, last outcome");
        out_ << line;
        for (const LedgerEntry& e : entries) {
            std::snprintf(line, sizeof line, "%-10s  %-25s  %-10s  %-16s  %s, %s\n",
                          e.serial.c_str(), e.row.time.c_str(), StateName(e.state),
                          e.row.station.c_str(), e.row.port.c_str(), e.row.outcome.c_str());
            out_ << line;
        }
        out_ << (entries.size() == 1
                     ? std::string("1 number to look into: find the pager that holds it and "
                                   "finish it with sntool resume.\n")
                     : std::to_string(entries.size()) +
                           " numbers to look into: find the pagers that hold them and finish "
                           "each with sntool resume.\n");
    }
    if (!ok) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    return kExitDone;
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
                clock_.Cancel();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int Session::Batch() {
    form_.SetQuiet(true);
    if (cradle_) {
        // A fresh pager after each write, once the verify read is done.
        cradle_->EnableSwap(std::chrono::milliseconds(2000));
    }
    std::string position = Typed(o_.serial);
    BatchTally tally;
    int code = kExitDone;
    for (int numbered = 0; numbered < o_.count && code == kExitDone;) {
        code = BatchPager(position, tally, numbered);
    }
    if (interrupted_.load()) {
        code = Interrupted();
    }
    const int pagers = tally.written + tally.skipped + tally.failed;
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.2f", pagers > 0 ? tally.seconds / pagers : 0.0);
    form_.Say("Batch: " + std::to_string(tally.written) + " written, " +
              std::to_string(tally.skipped) + " skipped, " + std::to_string(tally.failed) +
              " failed; " + mean + " s per pager on average.");
    return code;
}

void Session::BatchLine(const std::string& serial, const PagerResult& r, const char* note,
                        double seconds) {
    char line[200];
    std::snprintf(line, sizeof line, "%s  %-8s  %s%s  %.2f s", serial.c_str(),
                  r.record.model.empty() ? "-" : r.record.model.c_str(), r.outcome.c_str(), note,
                  seconds);
    form_.Say(line);
}

// A pager the monitor found numbered: nothing is sent, nothing recorded.
int Session::BatchSkip(const std::string& position, BatchTally& tally) {
    PagerResult r;
    r.outcome = outcome::kAlreadyNumbered;
    const double seconds = std::chrono::duration<double>(Clock::now() - lastTickStart_).count();
    ++tally.skipped;
    tally.seconds += seconds;
    BatchLine(position, r, "", seconds);
    return WaitForNextPager(true) ? kExitDone : kExitOther;
}

// One pager of a batch: wait for it, give it the next free number (or skip
// it), print its line, and wait for the next one.
int Session::BatchPager(std::string& position, BatchTally& tally, int& numbered) {
    view_->OnInitialUpdate();
    const TickOutcome seated = TickUntil(
        [](TickOutcome o) { return o == TickOutcome::Ready || o == TickOutcome::AlreadyNumbered; });
    if (interrupted_.load()) {
        return kExitInterrupted;
    }
    if (seated == TickOutcome::AlreadyNumbered) {
        return BatchSkip(position, tally);
    }
    if (seated != TickOutcome::Ready) {
        return TimeoutExit(seated);
    }
    const auto t0 = lastTickStart_;
    std::string why;
    const auto serial = ledger_->NextFree(position, why);
    if (!serial) {
        err_ << "sntool: " << why << "\n";
        return kExitOther;
    }
    if (*serial != position) {
        err_ << "sntool: " << position << (NextSerial(position) == *serial ? " is" : " and on are")
             << " used already; the batch goes on with " << *serial << "\n";
        position = *serial;
    }
    if (!BeginWriting()) {
        return kExitInterrupted;
    }
    const PagerResult r = WriteSeated(*serial);
    EndWriting();
    if (r.record.end == TransactionEnd::Refused) {
        // Another station took the number meanwhile: the next free one follows.
        return r.code == kExitDuplicate ? kExitDone : r.code;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const bool used = UsesNumber(r.outcome);
    const bool written = r.code == kExitDone || (used && r.code == kExitReadError);
    const bool skipped = r.code == kExitNumbered || r.code == kExitModelRefused;
    (written ? tally.written : skipped ? tally.skipped : tally.failed) += 1;
    tally.seconds += seconds;
    BatchLine(*serial, r,
              written || skipped ? ""
              : used             ? " (number used: sntool resume finishes the pager)"
                                 : " (number offered again)",
              seconds);
    if (!hooks_->LastSettleError().empty()) {
        return kExitOther;  // the ledger could not record it: nothing more is numbered
    }
    numbered += written ? 1 : 0;
    if (used) {
        // The number is in a pager: the next one goes on after it.
        SerialSequence sequence(*serial);
        if (sequence.Advance()) {
            position = sequence.Current();
        } else if (numbered < o_.count) {
            err_ << "sntool: " << sequence.EndMessage() << "\n";
            return kExitOther;
        }
    }
    if (numbered == o_.count) {
        return kExitDone;  // the last pager is done; it may stay in the cradle
    }
    return WaitForNextPager(used || r.code == kExitNumbered) ? kExitDone : kExitOther;
}

// The next pager: once this one has left the cradle, or at once when an
// unnumbered pager answers where a numbered one sat (swapped within a tick).
bool Session::WaitForNextPager(bool numberedNow) {
    const TickOutcome next = TickUntil(
        [numberedNow](TickOutcome o) {
            return o == TickOutcome::NoPager || o == TickOutcome::NotConnected ||
                   (numberedNow && o == TickOutcome::Ready);
        },
        1000);
    if (interrupted_.load()) {
        return true;  // the batch ends with its summary
    }
    if (next != TickOutcome::NoPager && next != TickOutcome::NotConnected &&
        next != TickOutcome::Ready) {
        err_ << "sntool: the pager was not taken out of the cradle within " << o_.timeoutSeconds
             << " s\n";
        return false;
    }
    return true;
}

}  // namespace

std::string CheckSerial(const std::string& serial) {
    if (serial.size() != kSerialLength) {
        return "SERIAL must be exactly 10 characters (got " + std::to_string(serial.size()) + ")";
    }
    for (std::size_t i = 0; i < serial.size(); ++i) {
        if (!IsTypableSerialChar(serial[i])) {
            return "SERIAL may hold only letters, digits and '*' (position " +
                   std::to_string(i + 1) + " holds '" + std::string(1, serial[i]) + "')";
        }
    }
    return "";
}

int RunSession(const Options& options, std::ostream& out, std::ostream& err) {
    Session session(options, out, err);
    return session.Run();
}

}  // namespace sn::cli
