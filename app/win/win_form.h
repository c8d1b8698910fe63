#pragma once
// WinForm: the form (dialog template 101) as the workflow's FormView.
// Threads: see docs/threads.md (forms); calls from other threads run on the
// GUI thread in the order they came.

#include <windows.h>
// The form's MessageBox is the workflow's, not the USER32 macro.
#undef MessageBox

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "workflow/form.h"

namespace sn {
class CVexloView;
}

namespace sn::win {

// Posted to the frame: run the queued calls.
inline constexpr UINT kRunQueued = WM_APP + 1;
// Timer ids of the frame: the monitor's, the stall meter's, and the one that
// closes the window once the pager being written is finished.
inline constexpr UINT_PTR kMonitorTimer = 1;
inline constexpr UINT_PTR kMeterTimer = 2;
inline constexpr UINT_PTR kCloseTimer = 3;
inline constexpr UINT_PTR kSpoolTimer = 4;

// A label too narrow for its one line of text in the font the system gave the
// dialog (a stand-in for "MS Shell Dlg" may be wider) is widened, so that
// no label is clipped or wrapped. The status line wraps by design.
void FitStaticTexts(HWND dialog);

class WinForm final : public FormView {
  public:
    explicit WinForm(HWND frame);
    ~WinForm() override;

    // Creates the form from template 101 as a child of the frame.
    HWND Create(HINSTANCE instance);
    HWND Dialog() const { return dialog_; }
    HWND SerialEdit() const { return GetDlgItem(dialog_, 1001); }
    void Attach(CVexloView* view, std::function<void()> onTick);
    // Test-only: every status text and box goes to this file.
    void ReportTo(const std::string& path);
    void Report(const std::string& line);

    // GUI thread: the frame's message handlers.
    void RunQueued();
    void OnMonitorTimer();
    // The stall meter's tick: how late the GUI thread served it.
    void OnMeterTimer(std::chrono::milliseconds period);
    void StartMeter() { lastMeterTick_ = std::chrono::steady_clock::now(); }
    long long LongestStallMs() const { return longestStallMs_; }
    void OnCommand(WPARAM wParam);
    // Every open or waiting box returns; no new box opens.
    void CloseAll();
    // A box on the GUI thread; answers asked for by other threads.
    int Box(const std::string& text, const std::string& caption, UINT type);

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

  private:
    struct Answer;
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnGuiThread() const { return GetCurrentThreadId() == guiThread_; }
    // Runs the action now on the GUI thread, else queues it there.
    void OnGui(std::function<void()> action);
    void OnEditChange();
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }

    HWND frame_;
    HWND dialog_ = nullptr;
    DWORD guiThread_;
    CVexloView* view_ = nullptr;
    std::function<void()> onTick_;
    std::atomic<int> timerPeriod_{0};
    std::atomic<bool> closing_{false};
    // GUI thread only.
    bool programmaticSet_ = false;
    std::chrono::steady_clock::time_point lastMeterTick_ = std::chrono::steady_clock::now();
    long long longestStallMs_ = 0;
    long long stallSinceStatusMs_ = 0;  // reported with the next status text

    std::mutex mutex_;  // guards everything below
    std::string serial_;
    std::deque<std::function<void()>> queued_;
    std::set<std::shared_ptr<Answer>> waiting_;
    std::ofstream report_;
};

}  // namespace sn::win
