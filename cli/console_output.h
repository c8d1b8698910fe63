#pragma once
// ConsoleOutput: sntool's presentation of the engine's outcomes. Status texts
// go to stdout as they change (one line each, the leading blank dropped), the
// error boxes' texts to stderr as they stand; CR LF pairs are written as
// plain line breaks. Progress is a one-line bar on a terminal and plain lines
// elsewhere. The form's prompts ("Check the Serial Number.", "Click the
// 'Write the Serial Number' Button.") mean nothing here and are not shown.
//
// Threads: see docs/threads.md (sntool); any call from any thread.

#include <mutex>
#include <ostream>
#include <string>

#include "workflow/cradle_engine.h"

namespace sn::cli {

class ConsoleOutput final : public EngineObserver {
  public:
    ConsoleOutput(std::ostream& out, std::ostream& err, bool terminal);

    void OnStage(Stage stage) override;
    void OnProgress(int percent) override;

    // A tick's outcome: its status text; the not-connected box once per
    // disconnection, a port list's error once until a scan succeeds.
    void ShowTick(const TickResult& tick);
    // An error box's text, or the text that stands for one.
    void Box(const std::string& text);
    // A failed operation's error (the verify's, for a written pager).
    void ShowError(PagerError error);
    // Prints a line of the command's own on stdout.
    void Say(const std::string& line);
    // A progress bar of its own (a read) begins or ends.
    void BeginProgress();
    void EndProgress();
    // Ends a progress bar line, so that what follows starts on its own line.
    void EndProgressLine();
    // Status texts and progress no longer printed (a batch prints a line
    // per pager instead); boxes still are.
    void SetQuiet(bool quiet);

  private:
    void Status(const std::string& text);
    void EndProgressLineLocked();
    void ResetProgressLocked();

    std::ostream& out_;
    std::ostream& err_;
    const bool terminal_;
    std::mutex mutex_;
    std::string status_;
    bool progressLine_ = false;
    bool quiet_ = false;
    int lastProgress_ = -1;
    bool disconnectReported_ = false;
    bool listErrorReported_ = false;
};

// "a\r\nb" -> "a\nb"
std::string PlainLines(const std::string& text);

}  // namespace sn::cli
