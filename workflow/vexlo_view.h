#pragma once
// CVexloView: the logic of the main form. It runs the cradle monitor on every
// tick of timer 0, handles the serial-number field and the Write button, and
// runs the read and write transactions on a worker thread. The window itself
// is a FormView; the link, the port source and the clock are passed in.
//
// Thread contract:
// - OnInitialUpdate, PreTranslateKeyDown, OnSerialKillFocus, OnSerialChange
//   and OnWriteButton are the UI thread's (OnSerialChange also runs on the
//   thread that empties the field, as the form calls it from SetSerialText).
//   OnInitialUpdate (Ctrl+N) does nothing while a transaction runs.
// - Write pressed while a tick is still running: the tick ends without
//   touching the form, and the transaction's texts come after it.
// - OnTimer may run on any one thread at a time: the UI thread, or a
//   monitor thread of the face's (TickRunner) so that a tick's waits of up
//   to 3000 ms never block the window. A tick that finds another tick or a
//   transaction running returns at once without doing anything: ticks never
//   nest, and a tick and a transaction never use the link together.
// - A transaction runs on its own worker thread, one at a time. It waits for
//   a tick still in progress before it touches the link. While it runs, a
//   further press of the Write button and edits of the field change nothing:
//   pagerImage and serialBytes stay as the transaction took them.
// - BeginClose (any thread) lets a running transaction finish, settlement
//   included, without boxes and with the status line saying the window
//   closes after it; no tick and no transaction starts any more. A pager is
//   never left half-written because its window was closed.
// - Shutdown (also run by the destructor) begins the close, waits for the
//   transaction to end, then makes a tick still running stop at its current
//   pause or wait, and closes the link. A face cancels its clock only after
//   the transaction has ended. The form must outlive the view's Shutdown.
// - The flags are atomics; pagerImage and serialBytes are handed from the UI
//   thread to the worker by the thread's start.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "ports/port_source.h"
#include "ports/ser_info.h"
#include "protocol/pager_memory.h"
#include "serial/comm_link.h"
#include "workflow/clock.h"
#include "workflow/form.h"
#include "workflow/pager_exchange.h"
#include "workflow/transaction_hooks.h"

namespace sn {

namespace testing {
struct ViewAccess;
}

inline constexpr std::uint8_t kHasSerialBit = 0x40;  // of the status reply's first byte
inline constexpr std::uint8_t kMarkNumbered = 0x01;  // the mark byte of a numbered pager

// The eight models whose serial number cannot be set.
inline constexpr std::array<std::string_view, 8> blockedModels = {
    "KTN4060C", "KTN4062C", "KTM2211C", "KTM2209C", "KTM2207C", "KTM2205C", "KTM2203C", "KTM2201C",
};

// How the last tick ended, for faces that act on it (the command line).
enum class TickOutcome {
    None,
    ListError,
    NotConnected,
    PortNotOpened,
    NoPager,
    Ready,
    AlreadyNumbered
};

class CVexloView {
  public:
    static constexpr std::size_t kPagerImageSize = 0x4000;
    static constexpr int kTimerId = 0;

    CVexloView(FormView& form, CommLink& link, PortSource& ports, WorkflowClock& clock,
               PortSelection& selection = ProcessPortSelection());
    CVexloView(const CVexloView&) = delete;
    CVexloView& operator=(const CVexloView&) = delete;
    ~CVexloView();

    // The form.
    void OnInitialUpdate();
    // A key-down in the serial-number field: true when it is consumed.
    bool PreTranslateKeyDown(int virtualKey);
    void OnSerialKillFocus();
    void OnSerialChange();
    void OnWriteButton();

    // The cradle monitor.
    void OnTimer(int timerId);
    void CheckCradle();

    // The transactions.
    void StartWorker();
    void ReadPagerInfo();
    std::string GetModelText() const;
    int CheckModel();
    // 1 when the information area says the pager is numbered already (the
    // form then says so), else 0.
    int RefuseNumbered();
    void WriteSerialNumber();

    // Writes `serial` again into a seated pager whose write broke off: the
    // transaction as for the Write button, but a pager whose area holds
    // exactly `serial` and the mark byte is not refused as numbered. The
    // link is opened on the last port the monitor used when it is closed.
    void ResumeWrite(const std::string& serial);

    bool TransactionRunning() const { return transactionRunning_.load(); }
    // Blocks until no transaction runs (the command line and tests).
    void WaitForTransaction();
    void BeginClose();
    bool Closing() const { return closing_.load(); }
    void Shutdown();

    // The form's state, for faces and tests: serialReady (ten characters
    // taken from the field), hasSerial (the status reply's bit for the pager
    // seated now), writeDone, keepStatusOnce, disconnectReported.
    int SerialReady() const { return serialReady.load(); }
    std::uint8_t HasSerial() const { return hasSerial.load(); }
    int WriteDone() const { return writeDone.load(); }
    int KeepStatusOnce() const { return keepStatusOnce.load(); }
    int DisconnectReported() const { return disconnectReported.load(); }
    // The pager's memory as the last transaction read and wrote it, and the
    // number it took from the field; read them once it has ended.
    const std::array<std::uint8_t, kPagerImageSize>& PagerImage() const { return pagerImage; }
    const std::array<std::uint8_t, kSerialLength>& SerialBytes() const { return serialBytes; }

    // The port the monitor last opened, under the name it was opened with.
    std::string LastPortName() const;
    TickOutcome LastTickOutcome() const { return lastOutcome_.load(); }
    // How the last transaction ended; read once it has ended.
    TransactionRecord LastTransaction() const;
    // A production run's additions; set before the first tick, or nullptr.
    void SetHooks(TransactionHooks* hooks) { hooks_ = hooks; }
    // Enter in the field with ten characters in it: the field is left and
    // Write pressed (a scanner's label ends with Enter). Off: Enter is
    // consumed as the key filter has it.
    void SetEnterWrites(bool on) { enterWrites_ = on; }

  private:
    friend struct testing::ViewAccess;  // tests that put the form in a given state

    static void WorkerThreadProc(CVexloView* view);

    // Monitor.
    void NotConnected();
    void NoPager();
    void Ready();
    void AlreadyNumbered(std::uint8_t hasSerialBefore);
    bool ListPorts(PortList& ports);
    bool Probe();
    std::optional<std::uint8_t> QueryStatus();

    // Transactions.
    void ShowTransactionStart();
    // Starts the worker for the serial number in serialBytes.
    bool BeginTransaction();
    // The hooks refused the write before its first frame: the form is as it
    // was when the button was pressed.
    void RestoreAfterRefusal();
    // The status line, unless the window is closing (it says so then).
    void ShowStatus(const char* text);
    // A transaction has been asked for: a tick still running leaves the form
    // to it.
    bool FormTakenByTransaction() const { return transactionRunning_.load(); }
    void FailureExit(TransactionEnd end, const char* text);
    // True for Ok; otherwise the failure exit with the step's text.
    bool Step(StepResult result, TransactionEnd failure, const char* timeoutText,
              const char* exhaustedText);
    bool ReadBlock(unsigned block, int& retries);
    bool WriteBlock(unsigned block);
    void PrepareInfoArea();
    void Pause(int ms);
    void CloseIfOpen();
    void BeginRecord();
    void NoteEnd(TransactionEnd end, std::string boxTitle = {});
    void NoteInfoArea();

    CommLink& serialLink;
    std::atomic<int> serialReady{0};
    std::atomic<int> keepStatusOnce{0};
    std::atomic<int> disconnectReported{0};
    std::atomic<int> writeDone{0};
    std::array<std::uint8_t, kPagerImageSize> pagerImage{};
    std::array<std::uint8_t, kSerialLength> serialBytes{};
    std::atomic<std::uint8_t> hasSerial{0};

    FormView& form_;
    PortSource& ports_;
    WorkflowClock& clock_;
    PortSelection& selection_;
    LinkState& link_;

    std::mutex busyMutex_;
    std::condition_variable busyCv_;
    bool tickRunning_ = false;
    std::atomic<bool> transactionRunning_{false};
    std::atomic<bool> startShown_{true};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> closing_{false};
    std::string resumeSerial_;  // set before a resume's worker starts
    std::atomic<int> listErrorReported_{0};
    std::atomic<TickOutcome> lastOutcome_{TickOutcome::None};
    PagerExchange exchange_;
    mutable std::mutex portMutex_;
    std::string lastPortName_;
    std::thread worker_;
    TransactionHooks* hooks_ = nullptr;
    bool enterWrites_ = false;
    mutable std::mutex recordMutex_;
    TransactionRecord record_;
};

}  // namespace sn
