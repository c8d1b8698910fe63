#include "app/win/win_app.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "app/win/resource.h"
#include "ports/explicit_port_source.h"
#include "ports/list_serial_ports.h"
#include "ports/serial_comm_dlg.h"
#include "ports/system_port_source.h"
#include "sim/substitute_pager.h"
#include "workflow/texts.h"

namespace sn::win {

namespace {

constexpr const char* kFrameClass = "SntoolFrame";
constexpr const char* kTitle = "Corvel Serial Number Tool";
constexpr UINT kMeterPeriodMs = 10;
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

std::string LoadText(HINSTANCE instance, UINT id) {
    char buffer[256] = {};
    const int n = LoadStringA(instance, id, buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(std::max(n, 0)));
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        FitStaticTexts(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// System Configuration: the combo box shows what the core's rules list and
// select; OK and Cancel hand the choice back to them.
struct SerialCommDlg {
    PortSource& source;
    PortSelection& selection;
    std::exception_ptr failure;

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            reinterpret_cast<SerialCommDlg*>(lParam)->OnInitDialog(dialog);
            return TRUE;
        }
        auto* self = reinterpret_cast<SerialCommDlg*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (self == nullptr || message != WM_COMMAND) {
            return FALSE;
        }
        const int id = LOWORD(wParam);
        if (id == IDOK) {
            char text[512] = {};
            GetDlgItemTextA(dialog, IDC_PORTCOMBO, text, sizeof text);
            EndDialog(dialog, IDOK);
            SerialCommDlgOnOK(self->selection, text);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            SerialCommDlgOnCancel(self->selection);
            return TRUE;
        }
        return FALSE;
    }

    void OnInitDialog(HWND dialog) {
        FitStaticTexts(dialog);
        try {
            const SerialCommDlgInit init = SerialCommDlgOnInit(source, selection);
            HWND combo = GetDlgItem(dialog, IDC_PORTCOMBO);
            HDC dc = GetDC(combo);
            const auto oldFont =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(combo, WM_GETFONT, 0, 0)));
            int widest = 0;
            for (const std::string& name : init.entries) {
                SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
                SIZE size{};
                GetTextExtentPoint32A(dc, name.c_str(), static_cast<int>(name.size()), &size);
                widest = std::max(widest, static_cast<int>(size.cx));
            }
            SelectObject(dc, oldFont);
            ReleaseDC(combo, dc);
            // The box keeps its size; its list is as wide as the longest name.
            SendMessageA(combo, CB_SETDROPPEDWIDTH, widest + GetSystemMetrics(SM_CXVSCROLL) + 8, 0);
            SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(init.selected), 0);
        } catch (...) {
            failure = std::current_exception();
            EndDialog(dialog, IDCANCEL);
        }
    }
};

}  // namespace

CVexloApp::CVexloApp(HINSTANCE instance, AppOptions options)
    : instance_(instance), options_(std::move(options)) {}

CVexloApp::~CVexloApp() {
    Shutdown();
}

std::unique_ptr<SerialPort> CVexloApp::MakePort() {
    std::unique_ptr<SerialPort> port = cradle_ ? cradle_->MakePort() : nullptr;
    return port ? std::move(port) : MakeSystemSerialPort();
}

void CVexloApp::ShowLinkMessage(const std::string& text, const std::string& osReason) {
    if (form_) {
        const std::string shown = osReason.empty() ? text : text + "\r\n\r\n" + osReason;
        form_->Box(shown, text::kCaption, MB_OK);
    }
}

bool CVexloApp::InitInstance(int show) {
    if (options_.simulate) {
        std::string why;
        cradle_ =
            cli::StartSimulatedCradle(std::string(sim::SubstitutePager::kDefaultModel), false, why);
        if (!cradle_) {
            return false;
        }
        // As in the Qt window: a written pager makes way for a fresh one.
        cradle_->EnableSwap(std::chrono::seconds(5));
        source_ = cradle_->MakeSource();
    } else if (!options_.port.empty()) {
        source_ = std::make_unique<ExplicitPortSource>(options_.port);
    } else {
        source_ = MakeSystemPortSource();
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (!CreateFrame()) {
        return false;
    }
    view_ = std::make_unique<CVexloView>(*form_, link_, *source_, clock_, selection_);
    runner_ = std::make_unique<TickRunner>([this] { view_->OnTimer(CVexloView::kTimerId); });
    form_->Attach(view_.get(), [this] { runner_->Post(); });
    if (!options_.logs.empty() || options_.nextFrom) {
        // Without a log the ledger lasts as long as the window.
        ledger_ = std::make_unique<JournalLedger>(options_.logs);
        hooks_ = std::make_unique<ProductionHooks>(*form_, *ledger_, options_.nextFrom);
        view_->SetHooks(hooks_.get());
    }
    view_->SetEnterWrites(options_.enterWrites);
    view_->OnInitialUpdate();
    ShowWindow(frame_, show);
    UpdateWindow(frame_);
    ReportControls();
    ReportMenus();
    form_->StartMeter();
    SetTimer(frame_, kMeterTimer, kMeterPeriodMs, nullptr);
    if (hooks_ && !options_.logs.empty()) {
        hooks_->Preload();  // off the GUI thread; a problem comes as a box
    }
    return true;
}

bool CVexloApp::CreateFrame() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFrameClass;
    RegisterClassExA(&wc);
    HMENU menu = LoadMenuA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME));
    frame_ = CreateWindowExA(0, kFrameClass, kTitle, kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                             300, nullptr, menu, instance_, this);
    if (frame_ == nullptr) {
        return false;
    }
    accelerators_ = LoadAcceleratorsA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME));
    statusBar_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame_,
                                 reinterpret_cast<HMENU>(0xE801), instance_, nullptr);
    form_ = std::make_unique<WinForm>(frame_);
    if (statusBar_ == nullptr || form_->Create(instance_) == nullptr) {
        return false;
    }
    if (!options_.report.empty()) {
        form_->ReportTo(options_.report);
    }
    FitToForm();
    ShowWindow(form_->Dialog(), SW_SHOW);
    return true;
}

// The frame shrinks to the form: its client area is the form above the
// status bar, the status bar's panes as wide as their texts.
void CVexloApp::FitToForm() {
    RECT form{};
    GetWindowRect(form_->Dialog(), &form);
    const int width = form.right - form.left;
    const int height = form.bottom - form.top;
    RECT bar{};
    GetWindowRect(statusBar_, &bar);
    RECT frame{0, 0, width, height + (bar.bottom - bar.top)};
    AdjustWindowRectEx(&frame, kFrameStyle, TRUE, 0);
    SetWindowPos(frame_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    SendMessageA(statusBar_, WM_SIZE, 0, 0);
    HDC dc = GetDC(statusBar_);
    const auto oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(statusBar_, WM_GETFONT, 0, 0)));
    SIZE indicator{};
    GetTextExtentPoint32A(dc, "SCRL", 4, &indicator);
    SelectObject(dc, oldFont);
    ReleaseDC(statusBar_, dc);
    const int pane = indicator.cx + 12;
    int edges[4] = {width - 3 * pane, width - 2 * pane, width - pane, -1};
    SendMessageA(statusBar_, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));
    ShowPrompt(IDS_IDLE_MESSAGE);
    UpdateIndicators();
    MoveWindow(form_->Dialog(), 0, 0, width, height, TRUE);
}

// Where the tests click: the centres of the field and the button, in screen
// coordinates.
void CVexloApp::ReportControls() {
    for (const auto& [name, id] :
         {std::pair{"serial", IDC_SERIAL}, std::pair{"write", IDC_WRITE}}) {
        RECT r{};
        GetWindowRect(GetDlgItem(form_->Dialog(), id), &r);
        form_->Report(std::string("point\t") + name + "\t" +
                      std::to_string((r.left + r.right) / 2) + " " +
                      std::to_string((r.top + r.bottom) / 2));
    }
}

void CVexloApp::ReportMenus() {
    for (const auto& [name, index] : {std::pair{"tools", 0}, std::pair{"help", 1}}) {
        RECT r{};
        GetMenuItemRect(frame_, GetMenu(frame_), static_cast<UINT>(index), &r);
        form_->Report(std::string("point\t") + name + "\t" +
                      std::to_string((r.left + r.right) / 2) + " " +
                      std::to_string((r.top + r.bottom) / 2));
    }
}

void CVexloApp::ShowPrompt(UINT id) {
    std::string prompt = LoadText(instance_, id);
    prompt = prompt.substr(0, prompt.find('\n'));
    if (prompt.empty()) {
        prompt = LoadText(instance_, IDS_IDLE_MESSAGE);
    }
    SendMessageA(statusBar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(prompt.c_str()));
}

// CAP, NUM and SCRL show while their lock is on, as the keyboard has it.
void CVexloApp::UpdateIndicators() {
    const int locks = (GetKeyState(VK_CAPITAL) & 1) | (GetKeyState(VK_NUMLOCK) & 1) << 1 |
                      (GetKeyState(VK_SCROLL) & 1) << 2;
    if (locks == locks_) {
        return;
    }
    locks_ = locks;
    const UINT ids[3] = {IDS_INDICATOR_CAPS, IDS_INDICATOR_NUM, IDS_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i) {
        const std::string text = (locks & (1 << i)) != 0 ? LoadText(instance_, ids[i]) : "";
        SendMessageA(statusBar_, SB_SETTEXTA, static_cast<WPARAM>(i + 1),
                     reinterpret_cast<LPARAM>(text.c_str()));
    }
}

LRESULT CALLBACK CVexloApp::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* app = reinterpret_cast<CVexloApp*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (app == nullptr || app->frame_ != window || !app->form_) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return app->OnMessage(message, wParam, lParam);
}

LRESULT CVexloApp::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRunQueued:
            form_->RunQueued();
            return 0;
        case WM_TIMER:
            if (wParam == kMonitorTimer) {
                form_->OnMonitorTimer();
            } else if (wParam == kMeterTimer) {
                OnMeterTimer();
            } else if (wParam == kCloseTimer && !view_->TransactionRunning()) {
                OnClose();
            }
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_INITMENUPOPUP:
            EnableMenuItem(
                GetMenu(frame_), ID_SYSTEM_SETUP,
                MF_BYCOMMAND | (SystemSetupEnabled(selection_) ? MF_ENABLED : MF_GRAYED));
            return 0;
        case WM_MENUSELECT:
            ShowPrompt((HIWORD(wParam) & MF_POPUP) != 0 || HIWORD(wParam) == 0xFFFF
                           ? IDS_IDLE_MESSAGE
                           : LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(frame_, message, wParam, lParam);
    }
}

void CVexloApp::OnCommand(int id) {
    switch (id) {
        case ID_SYSTEM_SETUP:
            OnSystemSetup();
            break;
        case ID_APP_ABOUT:
            OnAppAbout();
            break;
        case ID_FILE_NEW:
            view_->OnInitialUpdate();
            break;
        default:
            break;  // the other accelerators have no handler
    }
}

void CVexloApp::OnClose() {
    if (!shutDown_ && view_->TransactionRunning()) {
        // The pager is finished first, its row recorded; the window waits.
        form_->StopTimer();
        view_->BeginClose();
        SetTimer(frame_, kCloseTimer, 50, nullptr);
        return;
    }
    KillTimer(frame_, kCloseTimer);
    Shutdown();
    DestroyWindow(frame_);
}

void CVexloApp::OnAppAbout() {
    form_->StopTimer();
    form_->Report("dialog\tabout");
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), frame_, AboutProc, 0);
    form_->StartTimer(2000);
}

void CVexloApp::OnSystemSetup() {
    form_->StopTimer();
    // Whatever happens here, the monitor is started again afterwards: the
    // operator is told to connect the cradle and try again, so it must go
    // on following the cradle.
    try {
        PortList ports;
        ListSerialPorts(ports, 0, *source_, selection_);
        if (ports.empty()) {
            form_->Box(kNoPortText, kNoPortCaption, MB_OK | MB_ICONERROR);
        } else {
            SerialCommDlg dialog{*source_, selection_, nullptr};
            form_->Report("dialog\tsystem-configuration");
            DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_SERIALCOMM), frame_,
                            SerialCommDlg::Proc, reinterpret_cast<LPARAM>(&dialog));
            if (dialog.failure) {
                std::rethrow_exception(dialog.failure);
            }
        }
    } catch (const std::exception& e) {
        form_->Box(e.what(), text::kCaption, MB_OK | MB_ICONERROR);
    }
    form_->StartTimer(2000);
}

void CVexloApp::OnMeterTimer() {
    form_->OnMeterTimer(std::chrono::milliseconds(kMeterPeriodMs));
    UpdateIndicators();
}

// The serial-number field's key filter, ahead of the accelerators and the
// dialog navigation.
bool CVexloApp::PreTranslate(MSG& msg) {
    if (msg.message == WM_KEYDOWN && msg.hwnd == form_->SerialEdit() &&
        view_->PreTranslateKeyDown(static_cast<int>(msg.wParam))) {
        return true;
    }
    if (TranslateAcceleratorA(frame_, accelerators_, &msg) != 0) {
        return true;
    }
    return IsDialogMessageA(form_->Dialog(), &msg) != 0;
}

int CVexloApp::Run() {
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

// Safe during a transaction: waiting boxes return, a transaction finishes
// with its pauses and waits intact, a tick stops at its next pause or wait,
// and the form outlives them.
void CVexloApp::Shutdown() {
    if (shutDown_ || !form_) {
        return;
    }
    shutDown_ = true;
    if (view_) {
        view_->BeginClose();
    }
    form_->CloseAll();
    form_->StopTimer();
    KillTimer(frame_, kMeterTimer);
    if (view_) {
        view_->WaitForTransaction();
    }
    clock_.Cancel();
    if (runner_) {
        runner_->Stop();
    }
    if (view_) {
        view_->Shutdown();
    }
    hooks_.reset();  // its reading thread ends once its boxes have returned
    form_->Attach(nullptr, {});
    form_->Report("stall-ms\t" + std::to_string(form_->LongestStallMs()));
}

}  // namespace sn::win
