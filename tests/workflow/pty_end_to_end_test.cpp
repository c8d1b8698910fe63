// The whole workflow on real threads: CSerialLink and its watch thread on a
// pseudo-terminal, the substitute pager behind it, real time.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ledger/journal.h"
#include "ports/explicit_port_source.h"
#include "ports/list_serial_ports.h"
#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "serial/serial_link.h"
#include "sim/pty_pager.h"
#include "station/station.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/scripted_port_source.h"
#include "tests/support/workflow_fakes.h"
#include "workflow/texts.h"
#include "workflow/tick_runner.h"
#include "workflow/vexlo_view.h"

namespace sn {
namespace {

using namespace std::chrono_literals;
namespace txt = sn::text;

// The form's view over a real CSerialLink and the system clock, its port
// source naming one port (a pty, or a link to one).
struct CradleView {
    explicit CradleView(const std::string& port) : ports(port) { form.Attach(&view); }
    // Start-up and one tick, then the operator's serial number and the Write
    // button; returns once the transaction has ended.
    void WriteAfterOneTick() {
        view.OnInitialUpdate();
        view.OnTimer(0);
        ASSERT_EQ(form.Status(), txt::kEnterSerial);
        form.Type("AB12CD34EF");
        view.OnSerialKillFocus();
        view.OnWriteButton();
        view.WaitForTransaction();
    }

    testing::RecordingReporter reporter;
    LinkState state;
    CSerialLink link{state, &reporter};
    ExplicitPortSource ports;
    SystemClock clock;
    PortSelection selection;
    testing::FakeForm form;
    CVexloView view{form, link, ports, clock, selection};
};

// A read error over the pty: the box, the port closed; the next tick finds
// the pager still there, still unnumbered.
TEST(EndToEndTest, ReadErrorOverThePtyAndRecovery) {
    sim::SubstitutePager pager;
    sim::PtyPager runner{pager};
    ASSERT_TRUE(runner.Start()) << runner.LastError();
    CradleView tool(runner.PortPath());
    pager.SetStandingFault(kCmdReadFinish, sim::Fault::Nak);
    tool.WriteAfterOneTick();
    ASSERT_EQ(tool.form.Boxes().size(), 1u);
    EXPECT_EQ(tool.form.Boxes()[0].text, txt::kReadError3);
    EXPECT_FALSE(tool.link.IsOpen());
    pager.ClearFaults();
    tool.view.OnTimer(0);
    EXPECT_EQ(tool.form.Status(), txt::kEnterSerial);
    tool.view.Shutdown();
}

// The station shut down while the blocks are written, whichever face writes
// (the window's view, or sntool calling the engine): the write finishes and
// records its row, the pager is complete, the link closed; a tick after it
// does nothing. The window says why it waits, and shows no box.
TEST(StationTest, ShutdownDuringAWriteFinishesThePager) {
    const auto journal = std::filesystem::temp_directory_path() /
                         ("sntool-station-" + std::to_string(::getpid()) + ".csv");
    for (const bool window : {true, false}) {
        SCOPED_TRACE(window ? "the window" : "sntool");
        std::filesystem::remove(journal);
        sim::SubstitutePager pager;
        sim::PtyPager runner{pager};
        ASSERT_TRUE(runner.Start()) << runner.LastError();
        testing::RecordingReporter reporter;
        testing::FakeForm form;
        CStation station(&reporter);
        CradleOptions cradle;
        cradle.port = runner.PortPath();
        std::string why;
        ASSERT_TRUE(station.SetUpCradle(std::move(cradle), why)) << why;
        CVexloView* view = window ? &station.MakeView(form) : nullptr;
        LedgerOptions ledger;
        ledger.logs = {journal.string()};
        station.UseLedger(
            [&](const std::string& text, BoxIcon icon) { form.MessageBox(text, "", icon); },
            ledger);
        pager.ScriptFaults(kCmdWriteBlock, std::vector<sim::Fault>(3, sim::Fault::Nak));
        std::thread writer;  // sntool's write; the window's runs on its view's worker
        if (window) {
            form.Attach(view);
            view->OnInitialUpdate();
            view->OnTimer(0);
            form.Type("AB12CD34EF");
            view->OnSerialKillFocus();
            view->OnWriteButton();
        } else {
            ASSERT_EQ(station.Engine().Tick().outcome, TickOutcome::Ready);
            writer = std::thread([&] { station.Engine().Write(*Serial::Parse("AB12CD34EF")); });
        }
        while (pager.RequestCount(kCmdWriteBlock) == 0) {
            std::this_thread::sleep_for(1ms);
        }
        station.Shutdown();
        if (writer.joinable()) {
            writer.join();
        }
        EXPECT_TRUE(pager.IsNumbered());
        EXPECT_EQ(pager.ReadMemory(kMirrorAreaStart, kInfoAreaSize),
                  pager.ReadMemory(kInfoAreaStart, kInfoAreaSize));
        std::ifstream in(journal, std::ios::binary);
        const auto rows = ParseCsvLog(std::string(std::istreambuf_iterator<char>(in), {})).rows;
        EXPECT_EQ(rows.empty() ? "" : rows.back().outcome, "written");
        EXPECT_TRUE(form.Boxes().empty());
        EXPECT_EQ(form.Status(), window ? txt::kClosingAfterPager : "");
        EXPECT_FALSE(station.Link().IsOpen());
        const std::size_t requests = pager.Log().size();
        EXPECT_EQ(station.Engine().Tick().outcome, TickOutcome::None);
        EXPECT_EQ(pager.Log().size(), requests);
    }
    std::filesystem::remove(journal);
}

// A clean write through cradles that are not kind: a pager that answers in
// bytes 5 ms apart (its reply ends long after the step's pause), replies
// that a damaged length field or a 60 ms gap cut short, and a port whose
// line settings another program left dirty, with the information area
// holding every byte value. Each must end with the pager written; frames go
// out once each, but for one retry of block 4's read where its reply broke.
struct CradleCase {
    const char* name;
    sim::Delivery delivery;
    sim::Fault block4;       // the fault of block 4's first read reply
    std::uint8_t areaBase;   // 0x00 or 0x80: the area holds base .. base + 0x7F
    bool dirtyLine = false;  // the port's settings spoiled before the tool opens it
    std::size_t reads4 = 1;  // block 4's reads
};
void PrintTo(const CradleCase& c, std::ostream* os) {
    *os << c.name;
}

class CradleTest : public ::testing::TestWithParam<CradleCase> {};

// Every setting that would drop, mark, strip, map or eat a byte, as
// another program might have left them.
void SpoilLineSettings(int fd) {
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    tio.c_iflag |= IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | INPCK;
    tio.c_oflag |= OPOST | ONLCR | OCRNL;
    tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cflag |= PARENB;
    tio.c_cc[VMIN] = 4;
    tio.c_cc[VTIME] = 10;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);
}

TEST_P(CradleTest, CleanWriteEndsWithThePagerWritten) {
    const CradleCase c = GetParam();
    sim::SubstitutePager pager;
    // Shifted, so that the bytes the write replaces (serial number, mark,
    // checksum) hold harmless values and every special one goes both ways.
    std::vector<std::uint8_t> area(kInfoAreaSize);
    for (std::size_t i = 0; i < area.size(); ++i) {
        area[i] = static_cast<std::uint8_t>(c.areaBase + ((i + 0x28) & 0x7F));
    }
    pager.WriteMemory(kInfoAreaStart, area);
    pager.RefreshInfoArea();
    pager.ScriptFaults(kCmdReadBlock, {c.block4});
    pager.SetSplitGap(60ms);
    sim::PtyPagerOptions options;
    options.delivery = c.delivery;
    sim::PtyPager runner(pager, options);
    ASSERT_TRUE(runner.Start()) << runner.LastError();
    if (c.dirtyLine) {
        SpoilLineSettings(runner.PortFd());
    }
    CradleView cradle(runner.PortPath());
    cradle.WriteAfterOneTick();
    EXPECT_TRUE(cradle.form.Boxes().empty());
    EXPECT_EQ(cradle.form.Status(), txt::kCompleted);

    std::vector<std::uint8_t> expected = area;
    const std::string serial = "AB12CD34EF";
    std::copy(serial.begin(), serial.end(), expected.begin() + 0x10);
    expected[0x3F] = 0x01;
    expected[0x5F] = SumChecksum(std::span(expected).first(0x5F));
    EXPECT_EQ(pager.ReadMemory(kInfoAreaStart, kInfoAreaSize), expected);
    EXPECT_EQ(pager.ReadMemory(kMirrorAreaStart, kInfoAreaSize), expected);

    std::vector<unsigned> commands;
    std::vector<std::chrono::nanoseconds> reads4;
    for (const auto& e : pager.Log()) {
        commands.push_back(e.request.command);
        if (e.request.command == kCmdReadBlock && e.request.Address() == kInfoAreaStart) {
            reads4.push_back(e.at);
        }
    }
    std::vector<unsigned> clean{0x22, 0x92, 0x02, 0x02, 0x23, 0x20,
                                0x01, 0x01, 0x01, 0x01, 0x21, 0x72};
    clean.insert(clean.begin() + 2, c.reads4 - 1, 0x02);
    EXPECT_EQ(commands, clean);
    // A broken reply costs one retry, well before the step's 3000 ms wait.
    if (reads4.size() == 2) {
        EXPECT_LT(reads4[1] - reads4[0], 1s);
    }
    EXPECT_TRUE(cradle.reporter.Messages().empty());
    cradle.view.OnTimer(0);  // the success text stays while the pager is numbered
    EXPECT_EQ(cradle.form.Status(), txt::kCompleted);
    EXPECT_FALSE(cradle.form.EditEnabled());
    EXPECT_FALSE(cradle.link.IsOpen());
    cradle.view.Shutdown();
}

INSTANTIATE_TEST_SUITE_P(
    Cradles, CradleTest,
    ::testing::Values(CradleCase{"SlowPager", {1, 5000us}, sim::Fault::None, 0x00},
                      CradleCase{"DamagedLength", {}, sim::Fault::BadLength, 0x00, false, 2},
                      CradleCase{"ReplyCutBy60ms", {}, sim::Fault::Split, 0x00, false, 2},
                      CradleCase{"DirtyLineLowBytes", {}, sim::Fault::None, 0x00, true},
                      CradleCase{"DirtyLineHighBytes", {}, sim::Fault::None, 0x80, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The cradle pulled as the pager takes frame k of a clean write (probe,
// status, read 4, read 5, read finish, write start, blocks 4, 5, 240, 241,
// write finish, closing), or in the middle of a reply: the pty closes and the
// cradle's path goes away. The tool ends with the step's outcome after its
// one reply wait, the pager holds exactly the blocks it took, the cradle
// plugged in again shows the pager as it now is, and nothing is left open.
struct PullCase {
    std::size_t frame;       // the pager takes this many frames, then the cradle goes
    std::size_t replyBytes;  // of the last frame's reply that still go out
    const char* box;         // nullptr: the monitor's no-pager outcome
};
void PrintTo(const PullCase& c, std::ostream* os) {
    *os << "frame " << c.frame << ", " << c.replyBytes << " reply bytes";
}

class CradlePulledTest : public ::testing::TestWithParam<PullCase> {
  protected:
    static std::size_t Count(const char* dir) {
        std::error_code ec;
        const std::filesystem::directory_iterator it(dir, ec);
        return ec ? 0 : static_cast<std::size_t>(std::distance(begin(it), end(it)));
    }
    // Threads are gone a moment after their join returns.
    static bool SettlesAt(std::size_t fds, std::size_t threads) {
        for (int i = 0; i < 200; ++i) {
            if (Count("/proc/self/fd") == fds && Count("/proc/self/task") == threads) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void Plug(sim::PtyPager& runner) {
        ASSERT_TRUE(runner.Start()) << runner.LastError();
        std::filesystem::create_symlink(runner.PortPath(), cradle);
    }

    std::string dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "pulled-XXXXXX").string();
        return std::string(::mkdtemp(tmpl.data()));
    }();
    std::string cradle = dir + "/cradle";
    ~CradlePulledTest() override { std::filesystem::remove_all(dir); }
};

TEST_P(CradlePulledTest, EndsWithTheStepsOutcomeAndLeavesNothingBehind) {
    const PullCase c = GetParam();
    // A sanitizer may start a thread of its own with the first thread made.
    std::thread([] {}).join();
    const std::size_t fds = Count("/proc/self/fd");
    const std::size_t threads = Count("/proc/self/task");
    {
        sim::SubstitutePager pager;
        std::vector<std::uint8_t> expected = pager.ReadMemory(0, sim::SubstitutePager::kMemorySize);
        std::atomic<std::int64_t> pulledAt{0};
        sim::PtyPager first(pager);
        first.PlanPull({c.frame, c.replyBytes, [&] {
                            std::filesystem::remove(cradle);
                            pulledAt = std::chrono::steady_clock::now().time_since_epoch().count();
                        }});
        Plug(first);
        CradleView tool(cradle);
        if (c.box == nullptr) {
            tool.view.OnInitialUpdate();
            tool.view.OnTimer(0);
            EXPECT_EQ(tool.form.Status(), txt::kSeatPager);
        } else {
            tool.WriteAfterOneTick();
            ASSERT_EQ(tool.form.Boxes().size(), 1u);
            EXPECT_EQ(tool.form.Boxes()[0].text, c.box);
        }
        ASSERT_TRUE(first.Pulled());
        const auto since = std::chrono::steady_clock::now().time_since_epoch() -
                           std::chrono::steady_clock::duration(pulledAt.load());
        EXPECT_LT(since, 4000ms) << "the pull's outcome came only after the reply wait";
        EXPECT_FALSE(tool.link.IsOpen());

        // The blocks the pager took are written, as the tool prepared them.
        std::array<std::uint8_t, 4> blocks{4, 5, 240, 241};
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (c.frame >= 7 + i) {
                const std::size_t at = blocks[i] * kBlockSize;
                std::copy_n(tool.view.PagerImage().begin() + static_cast<long>(at), kBlockSize,
                            expected.begin() + static_cast<long>(at));
            }
        }
        EXPECT_EQ(pager.ReadMemory(0, sim::SubstitutePager::kMemorySize), expected);

        sim::PtyPager second(pager);
        Plug(second);
        tool.view.OnTimer(0);
        const bool numbered = c.frame >= 7;  // block 4 holds the mark byte
        EXPECT_EQ(tool.form.Status(), numbered ? txt::kAlreadyNumbered : txt::kEnterSerial);
        tool.view.Shutdown();
    }
    EXPECT_TRUE(SettlesAt(fds, threads))
        << "descriptors " << Count("/proc/self/fd") << " (were " << fds << "), threads "
        << Count("/proc/self/task") << " (were " << threads << ")";
}

INSTANTIATE_TEST_SUITE_P(
    EveryFrame, CradlePulledTest,
    ::testing::Values(PullCase{1, 0, nullptr}, PullCase{2, 0, nullptr},
                      PullCase{3, 0, txt::kReadError5Read}, PullCase{4, 0, txt::kReadError5Read},
                      PullCase{5, 0, txt::kReadError5Read}, PullCase{6, 0, txt::kWriteError5},
                      PullCase{7, 0, txt::kWriteError5}, PullCase{8, 0, txt::kWriteError5},
                      PullCase{9, 0, txt::kWriteError5}, PullCase{10, 0, txt::kWriteError5},
                      PullCase{11, 0, txt::kWriteError5}, PullCase{12, 0, txt::kWriteError5},
                      // in the middle of block 4's data reply
                      PullCase{3, 40, txt::kReadError5Read}),
    [](const auto& info) {
        return "Frame" + std::to_string(info.param.frame) +
               (info.param.replyBytes > 0 ? "MidReply" : "");
    });

TEST(TickRunnerTest, PostsMergeWhileATickRuns) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<int> ticks{0};
    TickRunner runner([&] {
        ++ticks;
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return release; });
    });
    runner.Post();
    while (ticks.load() == 0) {
        std::this_thread::sleep_for(1ms);
    }
    for (int i = 0; i < 10; ++i) {
        runner.Post();  // a tick runs: merged away
    }
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    while (runner.Busy()) {
        std::this_thread::sleep_for(1ms);
    }
    runner.Post();
    while (ticks.load() < 2) {
        std::this_thread::sleep_for(1ms);
    }
    runner.Stop();
    EXPECT_EQ(ticks.load(), 2);
}

// The cradle's source, slowed down once: the first opening of the device
// scan takes 50 ms (the monitor's tick is then still listing).
class SlowOnceSource final : public PortSource {
  public:
    explicit SlowOnceSource(PortSource& inner) : inner_(inner) {}
    std::atomic<bool> entered{false};

    std::vector<PortRecord> Scan() override {
        if (!entered.exchange(true)) {
            std::this_thread::sleep_for(50ms);
        }
        return inner_.Scan();
    }
    bool CanOpen(const std::string& path) override { return inner_.CanOpen(path); }

  private:
    PortSource& inner_;
};

// System Setup opened while a tick runs on the monitor's thread: the dialog
// lists the ports only once the tick has ended, as it would have, and the
// window's events go on meanwhile. Without the wait both threads would use
// the source at once, which ThreadSanitizer reports.
TEST(TickRunnerTest, SystemSetupListsThePortsAfterTheRunningTick) {
    sim::SubstitutePager pager;
    testing::Timeline timeline;
    testing::VirtualClock clock{timeline};
    testing::LoopbackLink link{pager, timeline, clock};
    testing::ScriptedPortSource scripted;
    scripted.interfaces = {testing::ScriptedInterface{
        "\\\\?\\usb#COM3", "Silicon Labs CP210x USB to UART Bridge (COM3)",
        "Silicon Labs CP210x USB to UART Bridge", "USB", 0}};
    SlowOnceSource source{scripted};
    PortSelection selection;
    testing::FakeForm form;
    CVexloView view{form, link, source, clock, selection};
    form.Attach(&view);
    view.OnInitialUpdate();
    TickRunner runner([&] { view.OnTimer(0); });
    runner.Post();
    while (!source.entered.load()) {
        std::this_thread::sleep_for(1ms);
    }

    int pumps = 0;
    ASSERT_TRUE(HoldMonitor(form, runner, [&] { return ++pumps > 0; }));
    EXPECT_FALSE(runner.Busy());
    EXPECT_GT(pumps, 0);
    EXPECT_FALSE(form.TimerPeriod().has_value());
    EXPECT_EQ(form.Status(), txt::kEnterSerial);  // the tick was not cut short
    PortList ports;
    ListSerialPorts(ports, 0, source, selection);
    EXPECT_EQ(ports.size(), 1u);
    EXPECT_EQ(scripted.setsOpen, 0);

    // The window closing during the wait gives it up.
    source.entered = false;
    runner.Post();
    while (!source.entered.load()) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(HoldMonitor(form, runner, [] { return false; }));
    runner.Stop();
}

}  // namespace
}  // namespace sn
