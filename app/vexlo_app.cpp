#include "app/vexlo_app.h"

#include <QApplication>
#include <QIcon>
#include <QMenuBar>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/serial_comm_dialog.h"
#include "ports/list_serial_ports.h"
#include "ports/serial_comm_dlg.h"
#include "workflow/texts.h"

// The icon lives in a static library's resources, which the linker would drop.
static void InitResources() {
    Q_INIT_RESOURCE(sntool);
}

namespace sn::app {

// The link's own messages: the application's plain box, the OS's reason
// below the text where it gave one.
class CVexloApp::Reporter final : public LinkReporter {
  public:
    explicit Reporter(BoxBroker*& broker) : broker_(broker) {}
    void ShowLinkMessage(const std::string& text, const std::string& osReason) override {
        if (broker_ != nullptr) {
            const std::string shown = osReason.empty() ? text : text + "\n\n" + osReason;
            broker_->Show(Displayed(shown), QStringLiteral("Serial Number Tool"),
                          QMessageBox::NoIcon);
        }
    }

  private:
    BoxBroker*& broker_;
};

CVexloApp::CVexloApp(AppOptions options)
    : options_(std::move(options)),
      reporter_(std::make_unique<Reporter>(broker_)),
      station_(reporter_.get()) {}

CVexloApp::~CVexloApp() {
    Shutdown();
}

bool CVexloApp::InitInstance() {
    InitResources();
    CradleOptions cradle;
    cradle.port = options_.port;
    cradle.simulate = options_.simulate;
    cradle.swapAfter = std::chrono::seconds(options_.swapSeconds);
    cradle.source = std::move(options_.source);
    std::string why;
    if (!station_.SetUpCradle(std::move(cradle), why)) {
        startError_ = "The virtual cradle could not be started.";
        return false;
    }
    frame_ = std::make_unique<CMainFrame>();
    frame_->setWindowIcon(QIcon(QStringLiteral(":/sntool.png")));
    broker_ = new BoxBroker(frame_.get());
    CVexloView& view = station_.MakeView(*frame_->Form());
    frame_->Form()->Attach(&view, broker_, station_.TickOnThread());
    if (!station_.UseProduction(*frame_->Form(), options_.production, startError_)) {
        return false;
    }

    connect(frame_->SystemSetupAction(), &QAction::triggered, this, &CVexloApp::OnSystemSetup);
    connect(frame_->AboutAction(), &QAction::triggered, this, &CVexloApp::OnAppAbout);
    connect(frame_->NewDocumentAction(), &QAction::triggered, this, &CVexloApp::OnNewDocument);
    connect(frame_->ToolsMenu(), &QMenu::aboutToShow, this, &CVexloApp::OnUpdateSystemSetup);
    frame_->OnClose([this] { return OnCloseRequested(); });
    closeWhenDone_.setInterval(50);
    connect(&closeWhenDone_, &QTimer::timeout, this, [this] {
        if (!View()->TransactionRunning()) {
            closeWhenDone_.stop();
            frame_->close();
        }
    });

    view.OnInitialUpdate();
    OnUpdateSystemSetup();
    frame_->show();
    if (station_.Ledger() != nullptr) {
        // The counts are taken on another thread: the GUI only copies their text.
        statusWatch_.setInterval(1000);
        connect(&statusWatch_, &QTimer::timeout, this,
                [this] { frame_->SetIdleText(QString::fromStdString(station_.StatusText())); });
        statusWatch_.start();
        frame_->ShowLockIndicators(false);
    }
    station_.PreloadLedger();  // off the GUI thread; its boxes come once the window is up
    return true;
}

void CVexloApp::OnUpdateSystemSetup() {
    frame_->SystemSetupAction()->setEnabled(SystemSetupEnabled(station_.Selection()));
}

void CVexloApp::OnNewDocument() {
    View()->OnInitialUpdate();
}

void CVexloApp::OnAppAbout() {
    if (holding_) {
        return;
    }
    GuiForm* form = frame_->Form();
    form->StopTimer();
    CAboutDlg about(frame_.get());
    about.exec();
    form->StartTimer(2000);
}

// The port source is the monitor's: a tick still running on its thread ends
// first, as it would have, while the window goes on (a box it opens can be
// answered). The operator sees the wait cursor meanwhile.
bool CVexloApp::HoldMonitorForDialog() {
    TickRunner& runner = *station_.Ticks();
    const bool busy = runner.Busy();
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    holding_ = true;
    const bool held = HoldMonitor(*frame_->Form(), runner, [this] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return !shutDown_;
    });
    holding_ = false;
    if (busy) {
        QApplication::restoreOverrideCursor();
    }
    return held;
}

void CVexloApp::OnSystemSetup() {
    if (holding_) {
        return;  // already waiting to open it
    }
    if (!HoldMonitorForDialog()) {
        return;  // the window is closing
    }
    GuiForm* form = frame_->Form();
    // Whatever happens here, the monitor is started again afterwards: the
    // operator is told to connect the cradle and try again, so it must go
    // on following the cradle.
    try {
        PortList ports;
        ListSerialPorts(ports, 0, station_.Source(), station_.Selection());
        if (ports.empty()) {
            broker_->Show(Displayed(kNoPortText), QString::fromLatin1(kNoPortCaption),
                          QMessageBox::Critical);
        } else {
            CSerialCommDlg dialog(station_.Source(), station_.Selection(), frame_.get());
            dialog.OnInitDialog();
            dialog.exec();
        }
    } catch (const std::exception& e) {
        broker_->Show(Displayed(e.what()), QStringLiteral("Serial Number Tool"),
                      QMessageBox::Critical);
    }
    form->StartTimer(2000);
}

bool CVexloApp::OnCloseRequested() {
    if (!shutDown_ && View()->TransactionRunning()) {
        // The pager is finished first; the window closes after it.
        frame_->Form()->StopTimer();
        View()->BeginClose();
        closeWhenDone_.start();
        return false;
    }
    Shutdown();
    return true;
}

void CVexloApp::Shutdown() {
    if (shutDown_ || !frame_) {
        return;
    }
    shutDown_ = true;
    closeWhenDone_.stop();
    statusWatch_.stop();
    View()->BeginClose();
    frame_->Form()->StopTimer();
    broker_->CloseAll();  // a box asked for from now on returns at once
    station_.Shutdown();
    // The window may still be up (its close waited for a pager): from here on
    // its events reach no view.
    frame_->Form()->Attach(nullptr, broker_, {});
}

}  // namespace sn::app
