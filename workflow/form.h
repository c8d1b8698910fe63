#pragma once
// FormView: the operations the workflow needs of the main form. The Qt window,
// the command-line tool and the tests each implement it.
//
// Threads: see docs/threads.md (forms): any operation from any thread;
// MessageBox blocks its caller until the operator has dismissed the box.
// SetSerialText produces the same change notification as typing: the form
// calls CVexloView::OnSerialChange for it before SetSerialText returns.

#include <string>

namespace sn {

enum class BoxIcon { Stop, Information };

enum class ModifierKey { Shift, Control, Alt };

class FormView {
  public:
    FormView() = default;
    FormView(const FormView&) = delete;
    FormView& operator=(const FormView&) = delete;
    virtual ~FormView() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    // The serial-number field (control 1001).
    virtual void SetSerialText(const std::string& text) = 0;
    virtual std::string SerialText() = 0;
    virtual void EnableSerialEdit(bool enable) = 0;
    virtual void FocusSerialEdit() = 0;
    virtual void CopySerialSelection() = 0;
    virtual void PasteIntoSerial() = 0;
    // The Write button (control 1002).
    virtual void EnableWriteButton(bool enable) = 0;
    // The progress bar (control 1011), range 0 to 100.
    virtual void ShowProgress(bool show) = 0;
    virtual void SetProgress(int position) = 0;
    // The monitor timer (identifier 0). Starting it while it runs replaces
    // its period; stopping it while stopped does nothing.
    virtual void StartTimer(int periodMs) = 0;
    virtual void StopTimer() = 0;
    virtual void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
    virtual bool IsKeyDown(ModifierKey key) = 0;
};

}  // namespace sn
