#pragma once
// CVexloView: the main form's presenter. It turns the form's events (the
// timer, the serial-number field, the Write button) into calls on the
// cradle's engine, and the engine's outcomes into the form's operations:
// status texts, boxes, the field, the button, the progress bar and the
// monitor's timer. A transaction runs on a worker thread of the view's, so
// that the form's thread never waits for the pager.
//
// Threads: see docs/threads.md (the view's part: which of its calls come
// from which thread, and what a close does while a pager is written).

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "workflow/cradle_engine.h"
#include "workflow/form.h"

namespace sn {

namespace testing {
struct ViewAccess;
}

class CVexloView final : private EngineObserver {
  public:
    static constexpr int kTimerId = 0;

    // The view over a cradle's engine, which it makes its own observer.
    CVexloView(FormView& form, CradleEngine& engine);
    // The same over an engine of its own.
    CVexloView(FormView& form, CommLink& link, PortSource& ports, WorkflowClock& clock,
               PortSelection& selection = ProcessPortSelection());
    CVexloView(const CVexloView&) = delete;
    CVexloView& operator=(const CVexloView&) = delete;
    ~CVexloView() override;

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

    bool TransactionRunning() const { return transactionRunning_.load(); }
    // Blocks until no transaction runs.
    void WaitForTransaction();
    // Lets a running transaction finish, its row recorded, without boxes and
    // with the status line saying the window closes after it; no tick and no
    // transaction starts any more.
    void BeginClose();
    bool Closing() const { return closing_.load(); }
    // Begins the close, waits for the transaction, ends a tick still running
    // and shuts the engine down. The form must outlive it.
    void Shutdown();

    // The form's state, for faces and tests: serialReady (ten characters
    // taken from the field), hasSerial (the status reply's bit for the pager
    // seated now), writeDone, keepStatusOnce, disconnectReported.
    int SerialReady() const { return serialReady.load(); }
    std::uint8_t HasSerial() const { return hasSerial.load(); }
    int WriteDone() const { return writeDone.load(); }
    int KeepStatusOnce() const { return keepStatusOnce.load(); }
    int DisconnectReported() const { return disconnectReported.load(); }
    // The number taken from the field, and the pager's memory as the last
    // transaction read and wrote it; read them once it has ended.
    const std::array<std::uint8_t, kSerialLength>& SerialBytes() const { return serialBytes; }
    const std::array<std::uint8_t, CradleEngine::kPagerImageSize>& PagerImage() const {
        return engine_.PagerImage();
    }
    TickOutcome LastTickOutcome() const { return lastOutcome_.load(); }
    CradleEngine& Engine() { return engine_; }
    // Enter in the field with ten characters in it: the field is left and
    // Write pressed (a scanner's label ends with Enter). Off: Enter is
    // consumed as the key filter has it.
    void SetEnterWrites(bool on) { enterWrites_ = on; }

  private:
    friend struct testing::ViewAccess;  // tests that put the form in a given state

    // The tick's outcome on the form.
    void Present(const TickResult& tick);
    void NotConnected();
    void ListError(const std::string& message);
    void NoPager();
    void Ready();
    void AlreadyNumbered(std::uint8_t hasSerialBefore);
    // A transaction has been asked for: a tick still running leaves the form
    // to it.
    bool FormTakenByTransaction() const { return transactionRunning_.load(); }

    // The transaction.
    bool BeginTransaction(const Serial& serial);
    void StartWorker(const Serial& serial);
    void RunTransaction(const Serial& serial);
    void ShowTransactionStart();
    // The hooks refused the write before its first frame: the form is as it
    // was when the button was pressed.
    void RestoreAfterRefusal(const Refusal& refusal);
    // The status line, unless the window is closing (it says so then).
    void ShowStatus(const char* text);
    void StartTimerUnlessClosing(int periodMs);
    void OnStage(Stage stage) override;
    void OnProgress(int percent) override;
    void OnFailure(PagerError error) override;

    std::unique_ptr<CradleEngine> ownEngine_;
    CradleEngine& engine_;
    FormView& form_;
    std::atomic<int> serialReady{0};
    std::atomic<int> keepStatusOnce{0};
    std::atomic<int> disconnectReported{0};
    std::atomic<int> writeDone{0};
    std::array<std::uint8_t, kSerialLength> serialBytes{};
    std::atomic<std::uint8_t> hasSerial{0};

    std::mutex busyMutex_;
    std::condition_variable busyCv_;
    bool tickRunning_ = false;
    std::atomic<bool> transactionRunning_{false};
    std::atomic<bool> startShown_{true};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> closing_{false};
    std::atomic<int> listErrorReported_{0};
    std::atomic<TickOutcome> lastOutcome_{TickOutcome::None};
    std::thread worker_;
    bool enterWrites_ = false;
};

}  // namespace sn
