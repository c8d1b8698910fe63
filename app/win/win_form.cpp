#include "app/win/win_form.h"

#include <commctrl.h>

#include <algorithm>
#include <future>
#include <utility>

#include "app/win/resource.h"
#include "workflow/vexlo_view.h"

namespace sn::win {

namespace {

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// One line a record: control characters shown as escapes.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

void FitStaticTexts(HWND dialog) {
    HDC dc = GetDC(dialog);
    const auto oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char kind[16] = {};
        GetClassNameA(child, kind, sizeof kind);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(kind, "Static") != 0 || (style & SS_TYPEMASK) != SS_LEFT ||
            GetDlgCtrlID(child) == IDC_STATUS) {
            continue;
        }
        const std::string text = WindowText(child);
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        RECT r{};
        GetWindowRect(child, &r);
        if (size.cx + 2 > r.right - r.left) {
            SetWindowPos(child, nullptr, 0, 0, size.cx + 2, r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SelectObject(dc, oldFont);
    ReleaseDC(dialog, dc);
}

// The caller's side of a box shown for another thread: given once, by the
// operator's answer or by CloseAll, whichever comes first.
struct WinForm::Answer {
    std::promise<void> promise;
    std::atomic<bool> given{false};
    void Give() {
        if (!given.exchange(true)) {
            promise.set_value();
        }
    }
};

WinForm::WinForm(HWND frame) : frame_(frame), guiThread_(GetCurrentThreadId()) {}

WinForm::~WinForm() {
    CloseAll();
}

HWND WinForm::Create(HINSTANCE instance) {
    dialog_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_FORM), frame_, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    if (dialog_ != nullptr) {
        SendMessageA(SerialEdit(), EM_LIMITTEXT, 10, 0);
        FitStaticTexts(dialog_);
    }
    return dialog_;
}

void WinForm::Attach(CVexloView* view, std::function<void()> onTick) {
    view_ = view;
    onTick_ = std::move(onTick);
}

void WinForm::ReportTo(const std::string& path) {
    std::lock_guard lock(mutex_);
    report_.open(path, std::ios::out | std::ios::trunc);
}

void WinForm::Report(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (report_.is_open()) {
        report_ << line << std::endl;
    }
}

INT_PTR CALLBACK WinForm::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return FALSE;
    }
    auto* form = reinterpret_cast<WinForm*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (form != nullptr && message == WM_COMMAND) {
        form->OnCommand(wParam);
        return TRUE;
    }
    return FALSE;
}

void WinForm::OnCommand(WPARAM wParam) {
    if (view_ == nullptr) {
        return;
    }
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_WRITE && code == BN_CLICKED) {
        view_->OnWriteButton();
    } else if (id == IDC_SERIAL && code == EN_KILLFOCUS) {
        view_->OnSerialKillFocus();
    } else if (id == IDC_SERIAL && code == EN_CHANGE) {
        OnEditChange();
    }
}

void WinForm::OnEditChange() {
    {
        std::lock_guard lock(mutex_);
        serial_ = WindowText(SerialEdit());
    }
    if (view_ != nullptr && !programmaticSet_) {
        view_->OnSerialChange();
    }
}

void WinForm::OnGui(std::function<void()> action) {
    if (OnGuiThread()) {
        action();
        return;
    }
    // One wake-up for a run of calls: the GUI thread takes all that are
    // queued when it gets to them.
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        wake = queued_.empty();
        queued_.push_back(std::move(action));
    }
    if (wake) {
        PostMessageA(frame_, kRunQueued, 0, 0);
    }
}

void WinForm::RunQueued() {
    for (;;) {
        std::function<void()> action;
        {
            std::lock_guard lock(mutex_);
            if (queued_.empty()) {
                return;
            }
            action = std::move(queued_.front());
            queued_.pop_front();
        }
        action();
    }
}

void WinForm::OnMonitorTimer() {
    // A stop asked for from another thread counts at once, even before the
    // queued KillTimer has run.
    if (timerPeriod_.load() != 0 && onTick_) {
        onTick_();
    }
}

// The longest time the GUI thread went without serving the meter's timer,
// beyond its period.
void WinForm::OnMeterTimer(std::chrono::milliseconds period) {
    const auto now = std::chrono::steady_clock::now();
    const long long late =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - lastMeterTick_ - period)
            .count();
    longestStallMs_ = std::max(longestStallMs_, late);
    stallSinceStatusMs_ = std::max(stallSinceStatusMs_, late);
    lastMeterTick_ = now;
}

void WinForm::SetStatusText(const std::string& text) {
    OnGui([this, text] {
        SetWindowTextA(Item(IDC_STATUS), text.c_str());
        Report("status\t" + Escaped(text) + "\t" + std::to_string(stallSinceStatusMs_));
        stallSinceStatusMs_ = 0;
    });
}

void WinForm::SetSerialText(const std::string& text) {
    if (OnGuiThread()) {
        SetWindowTextA(SerialEdit(), text.c_str());  // EN_CHANGE notifies the view
        return;
    }
    // From another thread: the text and its change notification now, on the
    // calling thread; the field follows on the GUI thread.
    {
        std::lock_guard lock(mutex_);
        serial_ = text.substr(0, 10);
    }
    if (view_ != nullptr) {
        view_->OnSerialChange();
    }
    OnGui([this, text] {
        programmaticSet_ = true;
        SetWindowTextA(SerialEdit(), text.c_str());
        programmaticSet_ = false;
    });
}

std::string WinForm::SerialText() {
    std::lock_guard lock(mutex_);
    return serial_;
}

void WinForm::EnableSerialEdit(bool enable) {
    OnGui([this, enable] { EnableWindow(SerialEdit(), enable ? TRUE : FALSE); });
}

void WinForm::FocusSerialEdit() {
    OnGui([this] { SetFocus(SerialEdit()); });
}

void WinForm::CopySerialSelection() {
    OnGui([this] { SendMessageA(SerialEdit(), WM_COPY, 0, 0); });
}

void WinForm::PasteIntoSerial() {
    OnGui([this] { SendMessageA(SerialEdit(), WM_PASTE, 0, 0); });
}

void WinForm::EnableWriteButton(bool enable) {
    OnGui([this, enable] { EnableWindow(Item(IDC_WRITE), enable ? TRUE : FALSE); });
}

void WinForm::ShowProgress(bool show) {
    OnGui([this, show] { ShowWindow(Item(IDC_PROGRESS), show ? SW_SHOW : SW_HIDE); });
}

void WinForm::SetProgress(int position) {
    OnGui([this, position] { SendMessageA(Item(IDC_PROGRESS), PBM_SETPOS, position, 0); });
}

void WinForm::StartTimer(int periodMs) {
    timerPeriod_ = periodMs;
    OnGui([this, periodMs] {
        SetTimer(frame_, kMonitorTimer, static_cast<UINT>(periodMs), nullptr);
    });
}

void WinForm::StopTimer() {
    timerPeriod_ = 0;
    OnGui([this] { KillTimer(frame_, kMonitorTimer); });
}

int WinForm::Box(const std::string& text, const std::string& caption, UINT type) {
    if (closing_.load()) {
        return IDCANCEL;
    }
    if (OnGuiThread()) {
        Report("box\t" + caption + "\t" + Escaped(text));
        return ::MessageBoxA(frame_, text.c_str(), caption.c_str(), type);
    }
    auto answer = std::make_shared<Answer>();
    std::future<void> done = answer->promise.get_future();
    {
        std::lock_guard lock(mutex_);
        waiting_.insert(answer);
    }
    OnGui([this, text, caption, type, answer] {
        if (!answer->given.load()) {
            // The calls queued behind this one run in the box's own loop.
            PostMessageA(frame_, kRunQueued, 0, 0);
            Box(text, caption, type);
        }
        answer->Give();
    });
    done.wait();
    std::lock_guard lock(mutex_);
    waiting_.erase(answer);
    return IDOK;
}

void WinForm::MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    Box(text, caption, MB_OK | (icon == BoxIcon::Stop ? MB_ICONERROR : MB_ICONINFORMATION));
}

void WinForm::CloseAll() {
    closing_ = true;
    std::set<std::shared_ptr<Answer>> waiting;
    {
        std::lock_guard lock(mutex_);
        waiting = waiting_;
    }
    for (const auto& answer : waiting) {
        answer->Give();
    }
}

bool WinForm::IsKeyDown(ModifierKey key) {
    int vk = VK_SHIFT;
    if (key == ModifierKey::Control) {
        vk = VK_CONTROL;
    } else if (key == ModifierKey::Alt) {
        vk = VK_MENU;
    }
    return (GetKeyState(vk) & 0x8000) != 0;
}

}  // namespace sn::win
