#include "cli/console_form.h"

#include "workflow/vexlo_view.h"

namespace sn::cli {

std::string PlainLines(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

ConsoleForm::ConsoleForm(std::ostream& out, std::ostream& err, bool terminal)
    : out_(out), err_(err), terminal_(terminal) {}

void ConsoleForm::EndProgressLineLocked() {
    if (progressLine_) {
        out_ << "\n";
        progressLine_ = false;
    }
}

void ConsoleForm::EndProgressLine() {
    std::lock_guard lock(mutex_);
    EndProgressLineLocked();
}

void ConsoleForm::Say(const std::string& line) {
    std::lock_guard lock(mutex_);
    EndProgressLineLocked();
    out_ << line << std::endl;
}

void ConsoleForm::SetStatusText(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (text == status_) {
        return;
    }
    status_ = text;
    if (quiet_) {
        return;
    }
    EndProgressLineLocked();
    out_ << PlainLines(!text.empty() && text.front() == ' ' ? text.substr(1) : text) << std::endl;
}

void ConsoleForm::SetSerialText(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        serial_ = text;
    }
    if (view_ != nullptr) {
        view_->OnSerialChange();
    }
}

std::string ConsoleForm::SerialText() {
    std::lock_guard lock(mutex_);
    return serial_;
}

void ConsoleForm::ShowProgress(bool show) {
    std::lock_guard lock(mutex_);
    if (!show) {
        EndProgressLineLocked();
    }
    lastProgress_ = -1;
}

void ConsoleForm::SetQuiet(bool quiet) {
    std::lock_guard lock(mutex_);
    quiet_ = quiet;
}

void ConsoleForm::SetProgress(int position) {
    std::lock_guard lock(mutex_);
    if (quiet_) {
        return;
    }
    if (!terminal_) {
        if (position != lastProgress_) {
            out_ << "progress " << position << "%" << std::endl;
        }
        lastProgress_ = position;
        return;
    }
    const int filled = position * 30 / 100;
    out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(30 - filled), '.') << "] " << position << "%"
         << std::flush;
    progressLine_ = true;
    lastProgress_ = position;
}

void ConsoleForm::StartTimer(int periodMs) {
    std::lock_guard lock(mutex_);
    timer_ = periodMs;
}

void ConsoleForm::StopTimer() {
    std::lock_guard lock(mutex_);
    timer_.reset();
}

void ConsoleForm::MessageBox(const std::string& text, const std::string&, BoxIcon) {
    std::lock_guard lock(mutex_);
    EndProgressLineLocked();
    boxes_.push_back(text.substr(0, text.find(" \r\n")));
    out_ << std::flush;
    err_ << PlainLines(text) << std::endl;
}

std::string ConsoleForm::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::optional<int> ConsoleForm::TimerPeriod() const {
    std::lock_guard lock(mutex_);
    return timer_;
}

std::vector<std::string> ConsoleForm::BoxTitles() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

}  // namespace sn::cli
