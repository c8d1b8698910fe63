#pragma once
// A form nobody looks at, for the benchmarks that drive CVexloView: it keeps
// the status text, the serial-number field and the message boxes shown.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "workflow/form.h"
#include "workflow/vexlo_view.h"

namespace sn::bench {

class QuietForm final : public FormView {
  public:
    void Attach(CVexloView* v) { view_ = v; }
    void SetStatusText(const std::string& t) override {
        std::lock_guard lock(m_);
        status_ = t;
    }
    void SetSerialText(const std::string& t) override {
        {
            std::lock_guard lock(m_);
            serial_ = t;
        }
        view_->OnSerialChange();
    }
    std::string SerialText() override {
        std::lock_guard lock(m_);
        return serial_;
    }
    void EnableSerialEdit(bool) override {}
    void FocusSerialEdit() override {}
    void CopySerialSelection() override {}
    void PasteIntoSerial() override {}
    void EnableWriteButton(bool) override {}
    void ShowProgress(bool) override {}
    void SetProgress(int) override {}
    void StartTimer(int) override {}
    void StopTimer() override {}
    void MessageBox(const std::string& t, const std::string&, BoxIcon) override {
        std::lock_guard lock(m_);
        boxes_.push_back(t);
    }
    bool IsKeyDown(ModifierKey) override { return false; }
    std::string Status() {
        std::lock_guard lock(m_);
        return status_;
    }
    // The boxes shown since the last call.
    std::vector<std::string> TakeBoxes() {
        std::lock_guard lock(m_);
        return std::exchange(boxes_, {});
    }

  private:
    CVexloView* view_ = nullptr;
    std::mutex m_;
    std::string status_;
    std::string serial_;
    std::vector<std::string> boxes_;
};

}  // namespace sn::bench
