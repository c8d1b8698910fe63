#pragma once
// CradleEngine: what the tool does with one cradle and the pager in it, as
// plain calls that take values and return outcomes. A face (a window's form
// through CVexloView, sntool, a station of several cradles) decides when to
// call them and presents what they return; the pacing, retries, pauses,
// frames and texts are the engine's.
//
// - Tick: the cradle monitor's one look at the cradle and the pager. It
//   leaves the link open on a pager ready for a number, closed otherwise.
// - Write(serial): reads the information area, refuses a listed model or a
//   pager numbered meanwhile, and writes the number into the area and its
//   mirror; with `verify`, reads both back and compares them with what was
//   sent. With hooks, the number is reserved before the first frame and
//   settled after the last (after the read back, with `verify`).
// - Resume(serial): the same for a pager whose write of `serial` broke off;
//   its area may hold the number and the mark byte already.
// - Read: the information area and its mirror, as they are.
//
// Status texts and progress reach the observer while an operation runs; a
// step's failure reaches it when it happens, before the operation ends.
//
// Threads: see docs/threads.md. In short: one operation at a time (a call
// made while another runs waits for it); Shutdown from any thread lets a
// write under way finish, ends a tick at its current pause or wait, and
// makes every later call return at once.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "ports/port_source.h"
#include "ports/ser_info.h"
#include "protocol/pager_memory.h"
#include "protocol/serial.h"
#include "serial/comm_link.h"
#include "workflow/clock.h"
#include "workflow/pager_error.h"
#include "workflow/pager_exchange.h"
#include "workflow/transaction_hooks.h"

namespace sn {

inline constexpr std::uint8_t kHasSerialBit = 0x40;  // of the status reply's first byte
inline constexpr std::uint8_t kMarkNumbered = 0x01;  // the mark byte of a numbered pager

// The eight models whose serial number cannot be set.
inline constexpr std::array<std::string_view, 8> blockedModels = {
    "KTN4060C", "KTN4062C", "KTM2211C", "KTM2209C", "KTM2207C", "KTM2205C", "KTM2203C", "KTM2201C",
};

// How a tick ended.
enum class TickOutcome {
    None,             // no tick ran (shutting down)
    ListError,        // the ports could not be listed
    NotConnected,     // no cradle among them
    PortNotOpened,    // the link reported why
    NoPager,          // nothing answered as a pager
    Ready,            // a pager without a serial number; the link stays open
    AlreadyNumbered,  // a pager with one
};

struct TickResult {
    TickOutcome outcome = TickOutcome::None;
    std::string listError;  // ListError: what the port list said
};

// The status line's text for a tick's outcome ("" where it sets none).
const char* TickText(TickOutcome outcome);

// The information area (0x0100-0x017F) and its mirror (0x3C00-0x3C7F), as a
// read found them.
struct PagerArea {
    std::array<std::uint8_t, kInfoAreaSize> info{};
    std::optional<std::array<std::uint8_t, kInfoAreaSize>> mirror;  // by Read and the read back
    // The byte at a pager address in either area.
    std::uint8_t At(std::uint16_t address) const;
    // As text for a screen, a log or a spreadsheet: never control characters.
    std::string Model() const;
    std::string SerialBefore() const;  // "" when the field is erased
};

// Where a read back first differs from what was written.
struct Mismatch {
    std::uint16_t address = 0;
    std::uint8_t written = 0;
    std::uint8_t read = 0;
};

struct PagerResult {
    Outcome outcome = Outcome::NotFinished;
    PagerError error = PagerError::None;  // BoxText(error) is its box
    std::optional<Refusal> refusal;       // Refused: the ledger's words
    std::optional<PagerArea> area;        // once it was read
    std::optional<Mismatch> mismatch;     // VerifyMismatch
    bool blockWriteSent = false;          // from then on the pager may hold the number
    bool recorded = true;                 // false: the hooks could not record the outcome
};

// The stages of a transaction that the operator is shown.
enum class Stage {
    Gathering,        // the transaction begins
    Writing,          // the model is not listed: the write begins
    ModelRefused,     // a listed model
    AlreadyNumbered,  // the area holds a number already
    Completed,        // written; the link is closed
    Finished,         // the transaction's closing pause is over, the link closed
};

// The status line's text for a stage ("" for Finished).
const char* StageText(Stage stage);

class EngineObserver {
  public:
    EngineObserver() = default;
    EngineObserver(const EngineObserver&) = delete;
    EngineObserver& operator=(const EngineObserver&) = delete;
    virtual ~EngineObserver() = default;

    virtual void OnStage(Stage /*stage*/) {}
    // 0 to 100.
    virtual void OnProgress(int /*percent*/) {}
    // A step failed: the link is closed, and no frame follows. A window
    // shows the error's box now; the operation goes on with its closing
    // pause, if it has one.
    virtual void OnFailure(PagerError /*error*/) {}
};

class CradleEngine {
  public:
    static constexpr std::size_t kPagerImageSize = 0x4000;

    CradleEngine(CommLink& link, PortSource& ports, WorkflowClock& clock, PortSelection& selection);
    CradleEngine(const CradleEngine&) = delete;
    CradleEngine& operator=(const CradleEngine&) = delete;
    ~CradleEngine();

    TickResult Tick();
    PagerResult Read();
    PagerResult Write(const Serial& serial, bool verify = false);
    PagerResult Resume(const Serial& serial, bool verify = false);

    // Set before the first operation, or nullptr.
    void SetHooks(TransactionHooks* hooks) { hooks_ = hooks; }
    TransactionHooks* Hooks() const { return hooks_; }
    void SetObserver(EngineObserver* observer);

    void Shutdown();

    // The port the monitor last opened, under the name it was opened with.
    std::string LastPortName() const;
    // The pager's memory as the last write read and wrote it; read it once
    // the write has ended.
    const std::array<std::uint8_t, kPagerImageSize>& PagerImage() const { return pagerImage; }
    PortSelection& Selection() { return selection_; }

  private:
    // The monitor.
    bool ListPorts(PortList& ports, TickResult& result);
    bool Probe();
    std::optional<std::uint8_t> QueryStatus();
    TickResult CheckCradle();
    TickResult Closed(TickOutcome outcome);

    // The transactions.
    PagerResult Transact(const Serial& serial, bool resume, bool verify);
    void ReadPagerInfo(TransactionRecord& record);
    std::string GetModelText() const;
    bool CheckModel(TransactionRecord& record);
    bool RefuseNumbered(TransactionRecord& record, bool resume);
    void WriteSerialNumber(TransactionRecord& record);
    void PrepareInfoArea(const Serial& serial);
    bool ReadBlock(unsigned block, int& retries, TransactionRecord& record);
    bool WriteBlock(unsigned block, TransactionRecord& record);
    // True for Ok; otherwise the step's failure, with the error for how it failed.
    bool Step(StepResult result, Outcome failure, PagerError timedOut, PagerError exhausted,
              TransactionRecord& record);
    // Starts an operation that is not a write: false once closing.
    bool Begin();
    void VerifyWritten(TransactionRecord& record, PagerResult& result);
    std::optional<Mismatch> FirstMismatch(const PagerArea& back) const;
    PagerResult ReadAreaAndMirror();
    PagerArea InfoArea() const;
    void Pause(int ms);
    void CloseIfOpen();
    bool OpenLastPort();

    std::array<std::uint8_t, kPagerImageSize> pagerImage{};
    CommLink& serialLink;
    PortSource& ports_;
    WorkflowClock& clock_;
    PortSelection& selection_;
    LinkState& link_;
    std::atomic<bool> stopping_{false};
    PagerExchange exchange_;
    TransactionHooks* hooks_ = nullptr;
    EngineObserver* observer_;
    std::optional<PagerArea> readArea_;  // the information area as the transaction read it

    std::mutex operation_;  // held by the operation that uses the link
    mutable std::mutex stateMutex_;
    std::condition_variable writeEnded_;
    bool closing_ = false;  // no operation starts any more
    bool writing_ = false;
    std::string lastPortName_;
};

}  // namespace sn
