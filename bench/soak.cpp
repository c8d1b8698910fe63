// Many pagers in a row: complete write cycles over a pseudo-terminal, replies
// handed over in pieces as a CP210x bridge does, a fresh pager seated for
// every cycle, and about 1 % of the pager's replies faulted at random (a
// negative acknowledge, silence, a bad checksum, a reply split in two, noise
// in front, a length field two bytes long). Prints the seed, and at the start and the end the open
// descriptors, the threads and the resident memory; counts how the cycles
// ended and checks the pager after each one:
// - a write reported as done must leave exactly the prepared information
//   area and its mirror, and nothing else changed;
// - a write reported as failed must leave every block either as it was or
//   exactly as prepared (nothing is undone), and a pager still unnumbered
//   must take a second write.
// Exit status 0 only when no pager was corrupted and nothing leaked.
// Usage: soak [CYCLES [SEED [PERCENT]]]
//   (default 100 cycles, seed 20261207, 1 % of the replies faulted)

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/quiet_form.h"
#include "ports/explicit_port_source.h"
#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "serial/serial_link.h"
#include "sim/pty_pager.h"
#include "workflow/texts.h"

namespace {

using namespace sn;
using Memory = std::vector<std::uint8_t>;

constexpr std::array<std::uint8_t, 8> kCommands{kCmdPresenceProbe, kCmdStatusQuery, kCmdReadBlock,
                                                kCmdReadFinish,    kCmdWriteStart,  kCmdWriteBlock,
                                                kCmdWriteFinish,   kCmdClosing};
constexpr std::array<sim::Fault, 6> kFaults{sim::Fault::Nak,         sim::Fault::Silence,
                                            sim::Fault::BadChecksum, sim::Fault::Split,
                                            sim::Fault::Noise,       sim::Fault::BadLength};
constexpr std::array<unsigned, 4> kBlocks{4, 5, 240, 241};

struct Usage {
    std::size_t fds = 0;
    std::size_t threads = 0;
    long rssKb = 0;
};

std::size_t Entries(const char* dir) {
    std::error_code ec;
    const std::filesystem::directory_iterator it(dir, ec);
    return ec ? 0 : static_cast<std::size_t>(std::distance(begin(it), end(it)));
}

Usage Measure() {
    Usage u{Entries("/proc/self/fd"), Entries("/proc/self/task"), 0};
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            u.rssKb = std::atol(line.c_str() + 6);
        }
    }
    return u;
}

void Print(const char* when, const Usage& u) {
    std::printf("%s: %zu descriptors, %zu threads, RSS %ld KiB\n", when, u.fds, u.threads, u.rssKb);
}

// The pager's memory after a complete write of `serial` onto `before`.
Memory Written(Memory m, const std::string& serial) {
    std::copy(serial.begin(), serial.end(), m.begin() + kInfoAreaStart + 0x10);
    m[kMarkByteAddress] = kMarkNumbered;
    m[kInfoAreaStart + 0x5F] = SumChecksum(std::span(m).subspan(kInfoAreaStart, 0x5F));
    std::copy_n(m.begin() + kInfoAreaStart, kInfoAreaSize, m.begin() + kMirrorAreaStart);
    return m;
}

bool BlockIs(const Memory& m, const Memory& like, unsigned block) {
    const auto at = static_cast<long>(block * kBlockSize);
    return std::equal(m.begin() + at, m.begin() + at + static_cast<long>(kBlockSize),
                      like.begin() + at);
}

class Soak {
  public:
    Soak(unsigned seed, int faultPercent) : rng_(seed), faultPercent_(faultPercent) {}

    bool Start() {
        if (runner_.PortPath().empty()) {
            std::fprintf(stderr, "no pty: %s\n", runner_.LastError().c_str());
            return false;
        }
        form_.Attach(&view_);
        view_.OnInitialUpdate();
        return true;
    }
    void Cycle();
    void Stop() { view_.Shutdown(); }
    void Report(int cycles) const;
    bool Clean() const { return badAfterSuccess_ == 0 && corrupt_ == 0; }

  private:
    // The pty's path exists only once the runner has started.
    std::string StartRunner() {
        runner_.Start();
        return runner_.PortPath();
    }
    void ScriptFaults();
    std::string RandomSerial();
    // Tick until the pager is ready (a faulted reply may cost a tick).
    bool Ready();
    // One press of the button; the box shown, or "" for a completed write.
    std::string Write(const std::string& serial);
    void Judge(const std::string& outcome, const Memory& before, const std::string& serial);

    std::mt19937 rng_;
    int faultPercent_;
    sim::SubstitutePager pager_;
    sim::PtyPager runner_{pager_};
    LinkState state_;
    CSerialLink link_{state_};
    ExplicitPortSource ports_{StartRunner()};
    SystemClock clock_;
    PortSelection selection_;
    bench::QuietForm form_;
    CVexloView view_{form_, link_, ports_, clock_, selection_};

    std::size_t replies_ = 0;
    std::size_t faulted_ = 0;
    std::size_t lostTicks_ = 0;
    std::map<std::string, int> outcomes_;
    int badAfterSuccess_ = 0;
    int corrupt_ = 0;
    int untouched_ = 0;
    int leftNumbered_ = 0;
    int recovered_ = 0;
};

// Each command's next requests get a fault with the chance asked for; more
// entries than a cycle sends, so that retries are faulted alike.
void Soak::ScriptFaults() {
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<std::size_t> kind(0, kFaults.size() - 1);
    for (std::uint8_t command : kCommands) {
        std::vector<sim::Fault> next(16, sim::Fault::None);
        for (sim::Fault& f : next) {
            if (percent(rng_) < faultPercent_) {
                f = kFaults[kind(rng_)];
            }
        }
        pager_.ScriptFaults(command, std::move(next));
    }
}

std::string Soak::RandomSerial() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string s(10, ' ');
    for (char& c : s) {
        c = kChars[pick(rng_)];
    }
    return s;
}

bool Soak::Ready() {
    for (int tick = 0; tick < 3; ++tick) {
        view_.OnTimer(0);
        if (view_.LastTickOutcome() == TickOutcome::Ready) {
            return true;
        }
        ++lostTicks_;
    }
    return false;
}

std::string Soak::Write(const std::string& serial) {
    form_.SetSerialText(serial);
    view_.OnSerialKillFocus();
    view_.OnWriteButton();
    view_.WaitForTransaction();
    const auto boxes = form_.TakeBoxes();
    if (form_.Status() == text::kCompleted && boxes.empty()) {
        return "";
    }
    return boxes.empty() ? "no box: " + form_.Status() : boxes.front();
}

void Soak::Cycle() {
    pager_.Reset();
    pager_.ClearFaults();
    pager_.ClearLog();
    ScriptFaults();
    const Memory before = pager_.ReadMemory(0, sim::SubstitutePager::kMemorySize);
    const std::string serial = RandomSerial();
    const std::string outcome = Ready() ? Write(serial) : "no pager ready";
    for (const auto& e : pager_.Log()) {
        ++replies_;
        faulted_ += e.fault != sim::Fault::None ? 1 : 0;
    }
    pager_.ClearFaults();
    Judge(outcome, before, serial);
}

void Soak::Judge(const std::string& outcome, const Memory& before, const std::string& serial) {
    const std::string name = outcome.empty() ? "written" : outcome.substr(0, outcome.find(" \r\n"));
    ++outcomes_[name];
    const Memory after = pager_.ReadMemory(0, sim::SubstitutePager::kMemorySize);
    const Memory prepared = Written(before, serial);
    if (outcome.empty()) {
        badAfterSuccess_ += after == prepared ? 0 : 1;
        return;
    }
    // Every block as it was or as prepared, and nothing else touched.
    Memory mixed = before;
    for (unsigned block : kBlocks) {
        const bool ok = BlockIs(after, before, block) || BlockIs(after, prepared, block);
        corrupt_ += ok ? 0 : 1;
        if (BlockIs(after, prepared, block)) {
            std::copy_n(prepared.begin() + block * kBlockSize, kBlockSize,
                        mixed.begin() + block * kBlockSize);
        }
    }
    corrupt_ += after == mixed ? 0 : 1;
    if (after == before) {
        ++untouched_;
    } else if (pager_.IsNumbered()) {
        ++leftNumbered_;  // nothing is undone: the pager keeps what it took
        return;
    }
    // Still unnumbered: a second write, without faults, completes it.
    if (Ready() && Write(serial).empty() &&
        pager_.ReadMemory(0, sim::SubstitutePager::kMemorySize) == prepared) {
        ++recovered_;
    } else {
        ++corrupt_;
    }
}

void Soak::Report(int cycles) const {
    std::printf(
        "%d cycles, %zu requests answered or faulted, %zu faulted (%.2f %%), %zu ticks "
        "without a ready pager\n",
        cycles, replies_, faulted_,
        replies_ ? 100.0 * static_cast<double>(faulted_) / static_cast<double>(replies_) : 0.0,
        lostTicks_);
    for (const auto& [name, n] : outcomes_) {
        std::printf("  %5d  %s\n", n, name.c_str());
    }
    std::printf(
        "failed cycles: %d left the pager untouched, %d numbered it partly (nothing "
        "undone), %d were written by a second try\n",
        untouched_, leftNumbered_, recovered_);
    std::printf("pager images not as expected after a reported success: %d\n", badAfterSuccess_);
    std::printf("pagers corrupted by a failed write: %d\n", corrupt_);
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const unsigned seed =
        argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20261207u;
    const int percent = argc > 3 ? std::clamp(std::atoi(argv[3]), 0, 100) : 1;
    std::printf(
        "soak: %d cycles, seed %u, %d %% of the replies faulted, replies in pieces of 6 "
        "bytes every 1.04 ms\n",
        cycles, seed, percent);
    Soak soak(seed, percent);
    if (!soak.Start()) {
        return 1;
    }
    const Usage start = Measure();
    Print("start", start);
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < cycles; ++i) {
        soak.Cycle();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Usage end = Measure();
    for (int i = 0; i < 100 && (end.fds != start.fds || end.threads != start.threads); ++i) {
        ::usleep(10'000);  // a thread just joined may linger a moment
        end = Measure();
    }
    Print("end", end);
    soak.Report(cycles);
    std::printf("wall time %.1f s, %.0f ms a cycle\n", seconds, 1000.0 * seconds / cycles);
    soak.Stop();
    const bool leaked =
        end.fds != start.fds || end.threads != start.threads || end.rssKb - start.rssKb > 32 * 1024;
    if (leaked) {
        std::printf("LEAK: descriptors, threads or memory grew\n");
    }
    return soak.Clean() && !leaked ? 0 : 1;
}
