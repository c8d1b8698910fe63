#include "tests/support/workflow_fakes.h"

#include <cstdio>

#include "protocol/hex_text.h"
#include "protocol/receive_burst.h"
#include "workflow/vexlo_view.h"

namespace sn::testing {

void Timeline::Add(std::string entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
}

std::vector<std::string> Timeline::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<std::string> Timeline::Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : Entries()) {
        if (e.rfind(prefix, 0) == 0) {
            out.push_back(e);
        }
    }
    return out;
}

void Timeline::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void VirtualClock::Sleep(std::chrono::milliseconds pause) {
    {
        std::lock_guard lock(mutex_);
        now_ += pause;
    }
    timeline_.Add("sleep " + std::to_string(pause.count()));
    if (onSleep) {
        onSleep(pause);
    }
}

bool VirtualClock::WaitReply(ReplyEventSlot& event, std::chrono::milliseconds timeout,
                             const std::function<bool()>& answered) {
    // The loopback link decodes a reply while the frame is sent, so whatever
    // will ever arrive has arrived already.
    while (event.Wait(std::chrono::milliseconds(0))) {
        if (answered()) {
            timeline_.Add("wait");
            return true;
        }
    }
    {
        std::lock_guard lock(mutex_);
        now_ += timeout;
    }
    timeline_.Add("timeout " + std::to_string(timeout.count()));
    return false;
}

std::chrono::milliseconds VirtualClock::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

int LoopbackLink::Open(const std::string& port, std::uint32_t, std::uint8_t, std::uint8_t,
                       std::uint8_t) {
    std::lock_guard lock(mutex_);
    openedNames_.push_back(port);
    if (openFails_) {
        return 0;
    }
    if (!open_) {
        ++opens_;
        timeline_.Add("open " + port);
    }
    open_ = true;
    state_.linkActive = 1;
    return 1;
}

void LoopbackLink::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
    state_.linkActive = 0;
    timeline_.Add("close");
}

int LoopbackLink::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_ ? 1 : 0;
}

void LoopbackLink::SendCommand(std::string text) {
    const FrameBytes bytes = FrameTextToBytes(text);
    NoteFrameSent(state_);
    if (IsOpen() == 0 || bytes.size() < 3) {
        return;
    }
    char name[16];
    std::snprintf(name, sizeof name, "send %02X", bytes[2]);
    timeline_.Add(name);
    for (const auto& burst : pager_.Receive(bytes, clock_.Now())) {
        FeedReceiveBurst(state_, burst.bytes);
    }
    // Whatever will come has come: a frame still under way has stalled.
    DropFrameUnderWay(state_);
}

void LoopbackLink::SetOpenFails(bool fails) {
    std::lock_guard lock(mutex_);
    openFails_ = fails;
}

int LoopbackLink::Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

std::vector<std::string> LoopbackLink::OpenedNames() const {
    std::lock_guard lock(mutex_);
    return openedNames_;
}

void FakeForm::Record(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
}

void FakeForm::SetStatusText(const std::string& text) {
    std::lock_guard lock(mutex_);
    statusHistory_.push_back(text);
    events_.push_back("status" + text);
}

void FakeForm::SetSerialText(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        serial_ = text.substr(0, 10);  // the field holds ten characters
        events_.push_back("serial '" + serial_ + "'");
    }
    if (view_ != nullptr) {
        view_->OnSerialChange();  // the field's change notification
    }
}

void FakeForm::Type(const std::string& text) {
    std::string upper;
    for (char c : text) {
        upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    SetSerialText(upper);  // the field's upper-case style
}

std::string FakeForm::SerialText() {
    std::lock_guard lock(mutex_);
    return serial_;
}

void FakeForm::EnableSerialEdit(bool enable) {
    std::lock_guard lock(mutex_);
    editEnabled_ = enable;
    events_.push_back(enable ? "edit on" : "edit off");
}

void FakeForm::FocusSerialEdit() {
    Record("focus");
}

void FakeForm::CopySerialSelection() {
    std::lock_guard lock(mutex_);
    clipboard_ = serial_;
    events_.push_back("copy");
}

void FakeForm::PasteIntoSerial() {
    std::string text;
    {
        std::lock_guard lock(mutex_);
        text = serial_ + clipboard_;
        events_.push_back("paste");
    }
    SetSerialText(text);
}

void FakeForm::EnableWriteButton(bool enable) {
    std::lock_guard lock(mutex_);
    writeEnabled_ = enable;
    events_.push_back(enable ? "write on" : "write off");
}

void FakeForm::ShowProgress(bool show) {
    std::lock_guard lock(mutex_);
    progressShown_ = show;
    events_.push_back(show ? "progress shown" : "progress hidden");
}

void FakeForm::SetProgress(int position) {
    std::lock_guard lock(mutex_);
    progress_.push_back(position);
    events_.push_back("progress " + std::to_string(position));
}

void FakeForm::StartTimer(int periodMs) {
    std::lock_guard lock(mutex_);
    timer_ = periodMs;
    events_.push_back("timer " + std::to_string(periodMs));
}

void FakeForm::StopTimer() {
    std::lock_guard lock(mutex_);
    timer_.reset();
    events_.push_back("timer stop");
}

void FakeForm::MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    Box box{text, caption, icon};
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(box);
        events_.push_back("box " + text.substr(0, text.find(" \r\n")));
    }
    if (onBox) {
        onBox(box);
    }
}

bool FakeForm::IsKeyDown(ModifierKey key) {
    std::lock_guard lock(mutex_);
    switch (key) {
        case ModifierKey::Shift:
            return shift_;
        case ModifierKey::Control:
            return ctrl_;
        case ModifierKey::Alt:
            return alt_;
    }
    return false;
}

void FakeForm::HoldKeys(bool shift, bool ctrl, bool alt) {
    std::lock_guard lock(mutex_);
    shift_ = shift;
    ctrl_ = ctrl;
    alt_ = alt;
}

void FakeForm::SetClipboard(std::string text) {
    std::lock_guard lock(mutex_);
    clipboard_ = std::move(text);
}

std::string FakeForm::Status() const {
    std::lock_guard lock(mutex_);
    return statusHistory_.empty() ? std::string() : statusHistory_.back();
}

std::vector<std::string> FakeForm::StatusHistory() const {
    std::lock_guard lock(mutex_);
    return statusHistory_;
}

std::vector<std::string> FakeForm::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

bool FakeForm::EditEnabled() const {
    std::lock_guard lock(mutex_);
    return editEnabled_;
}

bool FakeForm::WriteEnabled() const {
    std::lock_guard lock(mutex_);
    return writeEnabled_;
}

bool FakeForm::ProgressShown() const {
    std::lock_guard lock(mutex_);
    return progressShown_;
}

std::vector<int> FakeForm::ProgressHistory() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::optional<int> FakeForm::TimerPeriod() const {
    std::lock_guard lock(mutex_);
    return timer_;
}

std::vector<Box> FakeForm::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::string FakeForm::Clipboard() const {
    std::lock_guard lock(mutex_);
    return clipboard_;
}

}  // namespace sn::testing
