#pragma once
// Fakes for driving CVexloView in virtual time: a form that records every
// operation, a clock that records pauses and waits without sleeping, and an
// in-process link that hands every frame straight to the substitute pager and
// decodes its replies with the real decoder.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "serial/comm_link.h"
#include "sim/substitute_pager.h"
#include "workflow/clock.h"
#include "workflow/form.h"

namespace sn {
class CVexloView;
}

namespace sn::testing {

// What happened, in order: "send 22", "sleep 20", "wait", "timeout 3000",
// "open COM3", "close".
class Timeline {
  public:
    void Add(std::string entry);
    std::vector<std::string> Entries() const;
    // The entries that start with `prefix`.
    std::vector<std::string> Only(const std::string& prefix) const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

class VirtualClock final : public WorkflowClock {
  public:
    explicit VirtualClock(Timeline& timeline) : timeline_(timeline) {}
    void Sleep(std::chrono::milliseconds pause) override;
    bool WaitReply(ReplyEventSlot& event, std::chrono::milliseconds timeout,
                   const std::function<bool()>& answered) override;
    std::chrono::milliseconds Now() const;
    // Runs on the sleeping thread at every pause (the operator acting while a
    // tick or a transaction waits). Set before the view runs.
    std::function<void(std::chrono::milliseconds)> onSleep;

  private:
    Timeline& timeline_;
    mutable std::mutex mutex_;
    std::chrono::milliseconds now_{0};
};

class LoopbackLink final : public CommLink {
  public:
    LoopbackLink(sim::SubstitutePager& pager, Timeline& timeline, VirtualClock& clock)
        : pager_(pager), timeline_(timeline), clock_(clock) {}
    int Open(const std::string& port, std::uint32_t baud, std::uint8_t dataBits,
             std::uint8_t stopBits, std::uint8_t parity) override;
    void Close() override;
    int IsOpen() const override;
    void SendCommand(std::string text) override;
    void RenewReplyEvent() override { state_.replyEvent.Renew(); }
    LinkState& State() override { return state_; }
    std::string LastOpenError() const override { return {}; }

    void SetOpenFails(bool fails);
    int Opens() const;
    std::vector<std::string> OpenedNames() const;

  private:
    sim::SubstitutePager& pager_;
    Timeline& timeline_;
    VirtualClock& clock_;
    LinkState state_;
    mutable std::mutex mutex_;
    bool open_ = false;
    bool openFails_ = false;
    int opens_ = 0;
    std::vector<std::string> openedNames_;
};

struct Box {
    std::string text;
    std::string caption;
    BoxIcon icon;
};

class FakeForm final : public FormView {
  public:
    void Attach(CVexloView* view) { view_ = view; }

    void SetStatusText(const std::string& text) override;
    void SetSerialText(const std::string& text) override;
    std::string SerialText() override;
    void EnableSerialEdit(bool enable) override;
    void FocusSerialEdit() override;
    void CopySerialSelection() override;
    void PasteIntoSerial() override;
    void EnableWriteButton(bool enable) override;
    void ShowProgress(bool show) override;
    void SetProgress(int position) override;
    void StartTimer(int periodMs) override;
    void StopTimer() override;
    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    bool IsKeyDown(ModifierKey key) override;

    // The operator's side.
    void Type(const std::string& text);  // replaces the field's text, as typing would
    void HoldKeys(bool shift, bool ctrl, bool alt);
    void SetClipboard(std::string text);
    std::function<void(const Box&)> onBox;  // runs while the "box" is open

    std::string Status() const;
    std::vector<std::string> StatusHistory() const;
    std::vector<std::string> Events() const;  // every operation, in order
    bool EditEnabled() const;
    bool WriteEnabled() const;
    bool ProgressShown() const;
    std::vector<int> ProgressHistory() const;
    std::optional<int> TimerPeriod() const;  // nullopt while stopped
    std::vector<Box> Boxes() const;
    std::string Clipboard() const;

  private:
    void Record(std::string event);

    CVexloView* view_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::string> statusHistory_;
    std::string serial_;
    std::string clipboard_;
    bool editEnabled_ = false;
    bool writeEnabled_ = false;
    bool progressShown_ = false;
    std::vector<int> progress_;
    std::optional<int> timer_;
    std::vector<Box> boxes_;
    bool shift_ = false;
    bool ctrl_ = false;
    bool alt_ = false;
};

}  // namespace sn::testing
