#include "cli/session.h"

#include <array>
#include <cstdio>
#include <fstream>
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
    int TimeoutExit(TickOutcome last);
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
    if (o_.command == "status") {
        code = Status();
    } else if (o_.command == "read") {
        code = Read();
    } else if (o_.command == "write") {
        code = Write();
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
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(o_.timeoutSeconds));
    auto last = Clock::now();
    for (bool first = true;; first = false) {
        const auto next = last + std::chrono::milliseconds(form_.TimerPeriod().value_or(1000));
        if (!first && next > deadline) {
            return view_->LastTickOutcome();
        }
        std::this_thread::sleep_until(next);
        last = Clock::now();
        view_->OnTimer(0);
        const TickOutcome outcome = view_->LastTickOutcome();
        if (outcome == TickOutcome::Ready || outcome == TickOutcome::AlreadyNumbered) {
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
    form_.Say("Verify: blocks 4, 5, 240 and 241 read back as written.");
    return kExitDone;
}

int Session::Write() {
    const TickOutcome outcome = WaitForPager();
    if (outcome != TickOutcome::Ready) {
        return TimeoutExit(outcome);
    }
    // The operator's steps: type, leave the field, press the button.
    std::string typed;
    for (char c : o_.serial) {
        typed.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    form_.SetSerialText(typed);
    view_->OnSerialKillFocus();
    view_->OnWriteButton();
    view_->WaitForTransaction();
    for (const std::string& title : form_.BoxTitles()) {
        if (title.rfind("Write Error", 0) == 0) {
            return kExitWriteError;
        }
        if (title.rfind("Read Error", 0) == 0) {
            return kExitReadError;
        }
    }
    const std::string status = form_.Status();
    if (status == text::kModelRefused) {
        return kExitModelRefused;
    }
    if (status == text::kAlreadyNumbered) {
        return kExitNumbered;  // seated after the monitor found a pager ready
    }
    if (status != text::kCompleted) {
        return kExitOther;
    }
    return o_.verify ? Verify() : kExitDone;
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
