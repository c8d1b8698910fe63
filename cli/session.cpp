#include "cli/session.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "cli/console_form.h"
#include "cli/console_reporter.h"
#include "cli/exit_codes.h"
#include "cli/os_hints.h"
#include "cli/simulated_cradle.h"
#include "cli/trace_writer.h"
#include "ports/explicit_port_source.h"
#include "ports/list_serial_ports.h"
#include "ports/port_report.h"
#include "ports/system_port_source.h"
#include "protocol/checksum.h"
#include "protocol/pager_memory.h"
#include "serial/serial_link.h"
#include "sim/substitute_pager.h"
#include "workflow/key_filter.h"
#include "workflow/pager_reader.h"
#include "workflow/production_hooks.h"
#include "workflow/production_log.h"
#include "workflow/serial_sequence.h"
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

// What one pager came to: the exit code a single write gives, the log's
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

// Ctrl+C: only noted here; the batch decides when to stop.
std::atomic<bool> interruptRequested{false};
extern "C" void NoteInterrupt(int) {
    interruptRequested = true;
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
    int Verify();
    TickOutcome WaitForPager();
    // Ticks the monitor as the window's timer would (or every `periodMs`)
    // until `done` holds for a tick's outcome, the time is up, or the batch
    // is interrupted. The first tick comes one period after the call.
    TickOutcome TickUntil(const std::function<bool(TickOutcome)>& done,
                          std::optional<int> periodMs = std::nullopt);
    int TimeoutExit(TickOutcome last);
    bool OpenLog();
    std::optional<int> Guard(const std::string& serial);
    PagerResult WriteSeated(const std::string& serial);
    PagerResult NumberedAtMonitor(const std::string& serial);
    int LogPager(const PagerResult& r);
    int Batch();
    int BatchPager(SerialSequence& sequence, BatchTally& tally, bool& used);
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
    std::optional<ProductionLog> log_;
    bool duplicateAllowed_ = false;
    Clock::time_point lastTickStart_;
    // A batch's Ctrl+C: `writing_` keeps it from cutting a write short.
    std::mutex interruptMutex_;
    bool writing_ = false;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> batchOver_{false};
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
    if (!SetUpSource()) {
        return kExitOther;
    }
    if (o_.command == "ports") {
        return Ports();
    }
    view_ = std::make_unique<CVexloView>(form_, link_, *source_, clock_, selection_);
    form_.Attach(view_.get());
    int code = kExitOther;
    if ((o_.command == "write" || o_.command == "batch") && !OpenLog()) {
        code = kExitOther;
    } else if (o_.command == "status") {
        code = Status();
    } else if (o_.command == "read") {
        code = Read();
    } else if (o_.command == "write") {
        code = Write();
    } else if (o_.command == "batch") {
        code = Batch();
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
        // In slices, so that Ctrl+C between pagers ends a batch at once.
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

std::string Typed(const std::string& serial) {
    std::string typed;
    for (char c : serial) {
        typed.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    return typed;
}

bool Session::OpenLog() {
    if (o_.logs.empty()) {
        return true;
    }
    log_.emplace(o_.logs);
    std::vector<std::string> problems;
    std::string error;
    const bool ok = log_->Open(problems, error);
    for (const std::string& p : problems) {
        err_ << "sntool: " << p << "\n";
    }
    if (!ok) {
        err_ << "sntool: " << error << "\n";
    }
    return ok;
}

// Before any frame of a write: the log can take the row, and the number is
// not in it as written. Returns the exit code of a refusal.
std::optional<int> Session::Guard(const std::string& serial) {
    if (!log_) {
        return std::nullopt;
    }
    const auto refusal = log_->Check(serial, false);
    if (!refusal) {
        return std::nullopt;
    }
    if (refusal->kind == Refusal::Kind::Duplicate && o_.allowDuplicate) {
        // Said once, recorded in the row, and let through.
        const std::string& m = refusal->message;
        if (!duplicateAllowed_) {
            err_ << "sntool: --allow-duplicate: " << m.substr(0, m.find(" Nothing was sent"))
                 << "\n";
        }
        duplicateAllowed_ = true;
        return std::nullopt;
    }
    err_ << "sntool: " << refusal->message << "\n";
    return refusal->kind == Refusal::Kind::Duplicate ? kExitDuplicate : kExitOther;
}

// The operator's steps on a pager found ready: type, leave the field, press
// the button; then the verify read when asked for.
PagerResult Session::WriteSeated(const std::string& serial) {
    form_.SetSerialText(serial);
    view_->OnSerialKillFocus();
    view_->OnWriteButton();
    view_->WaitForTransaction();
    PagerResult r;
    r.record = view_->LastTransaction();
    r.outcome = OutcomeText(r.record);
    switch (r.record.end) {
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
    if (r.code == kExitDone && o_.verify) {
        const std::size_t boxes = form_.BoxTitles().size();
        r.code = Verify();
        if (r.code == kExitDone) {
            r.outcome = outcome::kVerified;
        } else if (r.code == kExitVerifyMismatch) {
            r.outcome = outcome::kVerifyMismatch;
        } else {
            // Written all the same: the guard must go on counting it.
            r.outcome =
                std::string(outcome::kWritten) + " (verify: " + form_.BoxTitles().at(boxes) + ")";
        }
    }
    if (duplicateAllowed_ && IsWriteOutcome(r.outcome)) {
        r.outcome += outcome::kDuplicateAllowed;
    }
    return r;
}

// The pager's row; a row that cannot be written turns success into failure.
int Session::LogPager(const PagerResult& r) {
    std::string error;
    if (!log_ || log_->Record(RowFor(r.record, r.outcome), error)) {
        return r.code;
    }
    err_ << "sntool: " << error << " The pager's row (" << r.record.serialWritten << ", "
         << r.outcome << ") is missing from it.\n";
    return r.code == kExitDone ? kExitOther : r.code;
}

// A pager the monitor found numbered: nothing read, nothing written.
PagerResult Session::NumberedAtMonitor(const std::string& serial) {
    PagerResult r;
    r.code = kExitNumbered;
    r.outcome = outcome::kAlreadyNumbered;
    r.record.end = TransactionEnd::AlreadyNumbered;
    r.record.port = view_->LastPortName();
    r.record.serialWritten = serial;
    return r;
}

int Session::Write() {
    const std::string serial = Typed(o_.serial);
    if (const auto refused = Guard(serial)) {
        return *refused;
    }
    const TickOutcome outcome = WaitForPager();
    if (outcome == TickOutcome::AlreadyNumbered) {
        return LogPager(NumberedAtMonitor(serial));
    }
    if (outcome != TickOutcome::Ready) {
        return TimeoutExit(outcome);
    }
    // Looked at again: another station may have written it meanwhile.
    if (const auto refused = Guard(serial)) {
        return *refused;
    }
    return LogPager(WriteSeated(serial));
}

// Ctrl+C between pagers cancels the clock, so that a tick under way ends at
// once; during a write it waits until the write (and its row) is done.
void Session::WatchInterrupt() {
    while (!batchOver_.load()) {
        if (interruptRequested.load()) {
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
    interruptRequested = false;
    const auto previous = std::signal(SIGINT, NoteInterrupt);
    std::thread watcher([this] { WatchInterrupt(); });
    SerialSequence sequence(Typed(o_.serial));
    BatchTally tally;
    int code = kExitDone;
    for (int numbered = 0; numbered < o_.count && code == kExitDone;) {
        bool used = false;
        code = BatchPager(sequence, tally, used);
        numbered += used ? 1 : 0;
        if (used && !sequence.Advance() && numbered < o_.count) {
            err_ << "sntool: " << sequence.EndMessage() << "\n";
            code = kExitOther;
        }
    }
    if (interrupted_.load()) {
        code = kExitInterrupted;
        err_ << "sntool: interrupted\n";
    }
    batchOver_ = true;
    watcher.join();
    std::signal(SIGINT, previous);
    const int pagers = tally.written + tally.skipped + tally.failed;
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.2f", pagers > 0 ? tally.seconds / pagers : 0.0);
    form_.Say("Batch: " + std::to_string(tally.written) + " written, " +
              std::to_string(tally.skipped) + " skipped, " + std::to_string(tally.failed) +
              " failed; " + mean + " s per pager on average.");
    return code;
}

// One pager of a batch: wait for it, number it (or skip it), print its line,
// wait for its removal. `used` says whether the number went into it.
int Session::BatchPager(SerialSequence& sequence, BatchTally& tally, bool& used) {
    view_->OnInitialUpdate();
    const TickOutcome seated = TickUntil(
        [](TickOutcome o) { return o == TickOutcome::Ready || o == TickOutcome::AlreadyNumbered; });
    if (interrupted_.load()) {
        return kExitInterrupted;
    }
    const auto t0 = lastTickStart_;
    const std::string serial = sequence.Current();
    PagerResult r;
    if (seated == TickOutcome::AlreadyNumbered) {
        r = NumberedAtMonitor(serial);
    } else if (seated != TickOutcome::Ready) {
        return TimeoutExit(seated);
    } else {
        {
            std::lock_guard lock(interruptMutex_);
            if (interrupted_.load()) {
                return kExitInterrupted;
            }
            writing_ = true;
        }
        duplicateAllowed_ = false;
        if (const auto refused = Guard(serial)) {
            std::lock_guard lock(interruptMutex_);
            writing_ = false;
            return *refused;
        }
        r = WriteSeated(serial);
    }
    const int code = LogPager(r);
    {
        std::lock_guard lock(interruptMutex_);
        writing_ = false;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    used = IsWriteOutcome(r.outcome);
    const bool skipped = r.code == kExitNumbered || r.code == kExitModelRefused;
    (used ? tally.written : skipped ? tally.skipped : tally.failed) += 1;
    tally.seconds += seconds;
    char line[160];
    std::snprintf(line, sizeof line, "%s  %-8s  %s%s  %.2f s", serial.c_str(),
                  r.record.model.empty() ? "-" : r.record.model.c_str(), r.outcome.c_str(),
                  used || skipped ? "" : " (number offered again)", seconds);
    form_.Say(line);
    if (used && code != kExitDone && code != kExitVerifyMismatch) {
        return code;  // the log could not take the row: nothing more is numbered
    }
    // The next pager only after this one has left the cradle.
    const TickOutcome gone = TickUntil(
        [](TickOutcome o) { return o == TickOutcome::NoPager || o == TickOutcome::NotConnected; },
        1000);
    if (interrupted_.load()) {
        return kExitInterrupted;
    }
    if (gone != TickOutcome::NoPager && gone != TickOutcome::NotConnected) {
        err_ << "sntool: the pager was not taken out of the cradle within " << o_.timeoutSeconds
             << " s\n";
        return kExitOther;
    }
    return kExitDone;
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
