#include "app/win/win_app.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "app/win/resource.h"
#include "app/win/win_dialogs.h"
#include "ports/list_serial_ports.h"
#include "ports/serial_comm_dlg.h"
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

}  // namespace

CVexloApp::CVexloApp(HINSTANCE instance, AppOptions options)
    : instance_(instance), options_(std::move(options)) {}

CVexloApp::~CVexloApp() {
    Shutdown();
}

void CVexloApp::ShowLinkMessage(const std::string& text, const std::string& osReason) {
    if (form_) {
        const std::string shown = osReason.empty() ? text : text + "\r\n\r\n" + osReason;
        form_->Box(shown, text::kCaption, MB_OK);
    }
}

bool CVexloApp::InitInstance(int show) {
    CradleOptions cradle;
    cradle.port = options_.port;
    cradle.simulate = options_.simulate;
    // As in the Qt window: a written pager makes way for a fresh one.
    cradle.swapAfter = std::chrono::seconds(5);
    std::string why;
    if (!station_.SetUpCradle(std::move(cradle), why)) {
        return false;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (!CreateFrame()) {
        return false;
    }
    CVexloView& view = station_.MakeView(*form_);
    form_->Attach(&view, station_.TickOnThread());
    if (std::string error; !station_.UseProduction(*form_, options_.production, error)) {
        form_->Box(error, text::kCaption, MB_OK | MB_ICONERROR);
        return false;
    }
    view.OnInitialUpdate();
    ShowWindow(frame_, show);
    UpdateWindow(frame_);
    ReportControls();
    ReportMenus();
    form_->StartMeter();
    SetTimer(frame_, kMeterTimer, kMeterPeriodMs, nullptr);
    if (station_.Ledger() != nullptr) {
        SetTimer(frame_, kSpoolTimer, 1000, nullptr);  // the counts, taken on another thread
    }
    station_.PreloadLedger();  // off the GUI thread; a problem comes as a box
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

void CVexloApp::OnStatusTimer() {
    const std::string text = station_.StatusText();
    if (text != idleText_) {
        idleText_ = text;
        ShowPrompt(IDS_IDLE_MESSAGE);
        form_->Report("idle\t" + text);
    }
}

void CVexloApp::ShowPrompt(UINT id) {
    std::string prompt = LoadText(instance_, id);
    prompt = prompt.substr(0, prompt.find('\n'));
    if (prompt.empty() || id == IDS_IDLE_MESSAGE) {
        prompt = idleText_;
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
            } else if (wParam == kSpoolTimer) {
                OnStatusTimer();
            } else if (wParam == kMeterTimer) {
                OnMeterTimer();
            } else if (wParam == kCloseTimer && !station_.View()->TransactionRunning()) {
                OnClose();
            }
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_INITMENUPOPUP:
            EnableMenuItem(
                GetMenu(frame_), ID_SYSTEM_SETUP,
                MF_BYCOMMAND | (SystemSetupEnabled(station_.Selection()) ? MF_ENABLED : MF_GRAYED));
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
            station_.View()->OnInitialUpdate();
            break;
        default:
            break;  // the other accelerators have no handler
    }
}

void CVexloApp::OnClose() {
    if (!shutDown_ && station_.View()->TransactionRunning()) {
        // The pager is finished first, its row recorded; the window waits.
        form_->StopTimer();
        station_.View()->BeginClose();
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
        ListSerialPorts(ports, 0, station_.Source(), station_.Selection());
        if (ports.empty()) {
            form_->Box(kNoPortText, kNoPortCaption, MB_OK | MB_ICONERROR);
        } else {
            SerialCommDlg dialog{station_.Source(), station_.Selection(), nullptr};
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
        station_.View()->PreTranslateKeyDown(static_cast<int>(msg.wParam))) {
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
    if (station_.View() != nullptr) {
        station_.View()->BeginClose();
    }
    form_->CloseAll();
    form_->StopTimer();
    KillTimer(frame_, kMeterTimer);
    KillTimer(frame_, kSpoolTimer);
    station_.Shutdown();
    form_->Attach(nullptr, {});
    form_->Report("stall-ms\t" + std::to_string(form_->LongestStallMs()));
}

}  // namespace sn::win
