#pragma once
// ConsoleForm: the main form on a terminal. Status texts go to stdout as
// they change (one line each, the leading blank dropped), message boxes to
// stderr as they stand, without waiting for a key. CR LF pairs are written as
// plain line breaks. Progress is a one-line bar on a terminal and plain lines
// elsewhere.
//
// Thread safety: every operation may be called from any thread.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "workflow/form.h"

namespace sn {
class CVexloView;
}

namespace sn::cli {

class ConsoleForm final : public FormView {
  public:
    ConsoleForm(std::ostream& out, std::ostream& err, bool terminal);
    void Attach(CVexloView* view) { view_ = view; }

    void SetStatusText(const std::string& text) override;
    void SetSerialText(const std::string& text) override;
    std::string SerialText() override;
    void EnableSerialEdit(bool) override {}
    void FocusSerialEdit() override {}
    void CopySerialSelection() override {}
    void PasteIntoSerial() override {}
    void EnableWriteButton(bool) override {}
    void ShowProgress(bool show) override;
    void SetProgress(int position) override;
    void StartTimer(int periodMs) override;
    void StopTimer() override;
    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    bool IsKeyDown(ModifierKey) override { return false; }

    std::string Status() const;
    std::optional<int> TimerPeriod() const;
    // The boxes shown so far, by their titles ("Write Error #2").
    std::vector<std::string> BoxTitles() const;
    // Ends a progress bar line, so that what follows starts on its own line.
    void EndProgressLine();
    // Prints a line of the command's own on stdout.
    void Say(const std::string& line);
    // Status texts and progress no longer printed (a batch prints a line
    // per pager instead); boxes still are.
    void SetQuiet(bool quiet);

  private:
    void EndProgressLineLocked();

    std::ostream& out_;
    std::ostream& err_;
    const bool terminal_;
    CVexloView* view_ = nullptr;
    mutable std::mutex mutex_;
    std::string status_;
    std::string serial_;
    std::optional<int> timer_;
    std::vector<std::string> boxes_;
    bool progressLine_ = false;
    bool quiet_ = false;
    int lastProgress_ = -1;
};

// "a\r\nb" -> "a\nb"
std::string PlainLines(const std::string& text);

}  // namespace sn::cli
