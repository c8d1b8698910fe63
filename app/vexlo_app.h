#pragma once
// CVexloApp: the window's application. It builds the cradle's port source,
// the serial link, the monitor's clock and tick thread, the main frame with
// its form, and CVexloView over them, and handles the menu commands.
//
// Threads: see docs/threads.md. The GUI thread never waits for the pager or
// reads the ledger. Closing the window while a transaction runs lets it
// finish and record its row first (the status line says so), then closes:
// open boxes return, waits end, the threads are joined, the link is closed.

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/box_broker.h"
#include "app/main_frame.h"
#include "ports/port_source.h"
#include "station/station.h"

namespace sn::app {

struct AppOptions {
    std::string port;                    // --port PATH
    bool simulate = false;               // --simulate
    int swapSeconds = 5;                 // virtual cradle: a written pager is replaced after this
    std::unique_ptr<PortSource> source;  // in place of both (tests)
    ProductionOptions production;        // --log, --db, --next-from, ...
};

class CVexloApp final : public QObject {
    Q_OBJECT
  public:
    explicit CVexloApp(AppOptions options);
    ~CVexloApp() override;

    // Builds the window and starts the form; false when the virtual cradle
    // cannot be had (StartError says so). A production log is read after
    // the window is up, and a problem with it told in a box.
    bool InitInstance();
    const std::string& StartError() const { return startError_; }
    void OnAppAbout();
    void OnSystemSetup();
    void OnUpdateSystemSetup();
    void OnNewDocument();
    void Shutdown();

    CMainFrame* Frame() const { return frame_.get(); }
    GuiForm* Form() const { return frame_->Form(); }
    CVexloView* View() { return station_.View(); }
    CSerialLink& Link() { return station_.Link(); }
    PortSelection& Selection() { return station_.Selection(); }

  private:
    class Reporter;

    bool HoldMonitorForDialog();
    // The window's close button: false while a pager is being finished.
    bool OnCloseRequested();

    AppOptions options_;
    std::unique_ptr<CMainFrame> frame_;
    BoxBroker* broker_ = nullptr;
    std::unique_ptr<LinkReporter> reporter_;
    CStation station_;  // ended before the frame and its form go
    bool shutDown_ = false;
    bool holding_ = false;  // System Setup waits for a tick (GUI thread only)
    QTimer closeWhenDone_;
    QTimer statusWatch_;  // the operator's counts, shown in the status bar
    std::string startError_;
};

}  // namespace sn::app
