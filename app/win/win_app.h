#pragma once
// CVexloApp for Windows: the main frame (fixed size, menu, status bar), the
// form inside it, the About and System Configuration dialogs, and the
// message loop with the serial-number field's key filter. The workflow is
// the core's CVexloView. Threads: see docs/threads.md; closing the window
// while a pager is written lets it finish and record its row first.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/win/win_form.h"
#include "serial/link_reporter.h"
#include "station/station.h"

namespace sn::win {

struct AppOptions {
    std::string port;              // --port NAME: the cradle is this COM port
    bool simulate = false;         // --simulate: the in-process substitute pager
    std::string report;            // --report-status FILE (tests)
    ProductionOptions production;  // --log, --db, --next-from, ...
};

class CVexloApp final : public LinkReporter {
  public:
    CVexloApp(HINSTANCE instance, AppOptions options);
    ~CVexloApp() override;

    bool InitInstance(int show);
    int Run();

    void ShowLinkMessage(const std::string& text, const std::string& osReason) override;

  private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateFrame();
    void FitToForm();
    void OnCommand(int id);
    // The close box: the window goes once no pager is being written.
    void OnClose();
    void OnSystemSetup();
    void OnAppAbout();
    void OnMeterTimer();
    void ReportControls();
    void ReportMenus();
    void ShowPrompt(UINT id);
    void OnStatusTimer();
    void UpdateIndicators();
    bool PreTranslate(MSG& msg);
    void Shutdown();

    HINSTANCE instance_;
    AppOptions options_;
    HWND frame_ = nullptr;
    HWND statusBar_ = nullptr;
    HACCEL accelerators_ = nullptr;
    std::unique_ptr<WinForm> form_;
    CStation station_{this};  // ended before the form goes
    bool shutDown_ = false;
    int locks_ = -1;  // the CAP/NUM/SCRL states last shown
    std::string idleText_ = "Ready";
};

}  // namespace sn::win
