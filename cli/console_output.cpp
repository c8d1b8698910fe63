#include "cli/console_output.h"

#include <utility>

#include "workflow/texts.h"

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

ConsoleOutput::ConsoleOutput(std::ostream& out, std::ostream& err, bool terminal)
    : out_(out), err_(err), terminal_(terminal) {}

void ConsoleOutput::EndProgressLineLocked() {
    if (progressLine_) {
        out_ << "\n";
        progressLine_ = false;
    }
}

void ConsoleOutput::ResetProgressLocked() {
    EndProgressLineLocked();
    lastProgress_ = -1;
}

void ConsoleOutput::EndProgressLine() {
    std::lock_guard lock(mutex_);
    EndProgressLineLocked();
}

void ConsoleOutput::BeginProgress() {
    std::lock_guard lock(mutex_);
    lastProgress_ = -1;
}

void ConsoleOutput::EndProgress() {
    std::lock_guard lock(mutex_);
    ResetProgressLocked();
}

void ConsoleOutput::SetQuiet(bool quiet) {
    std::lock_guard lock(mutex_);
    quiet_ = quiet;
}

void ConsoleOutput::Say(const std::string& line) {
    std::lock_guard lock(mutex_);
    EndProgressLineLocked();
    out_ << line << std::endl;
}

void ConsoleOutput::Status(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (text.empty() || text == status_) {
        return;
    }
    status_ = text;
    if (quiet_) {
        return;
    }
    EndProgressLineLocked();
    out_ << PlainLines(text.front() == ' ' ? text.substr(1) : text) << std::endl;
}

void ConsoleOutput::Box(const std::string& text) {
    std::lock_guard lock(mutex_);
    EndProgressLineLocked();
    out_ << std::flush;
    err_ << PlainLines(text) << std::endl;
}

void ConsoleOutput::ShowError(PagerError error) {
    Box(error == PagerError::PortNotOpened ? "sntool: " + ErrorTitle(error) : BoxText(error));
}

void ConsoleOutput::OnStage(Stage stage) {
    if (stage == Stage::Finished) {
        return;
    }
    if (stage != Stage::Writing) {
        std::lock_guard lock(mutex_);
        ResetProgressLocked();
    }
    Status(StageText(stage));
    if (stage == Stage::Gathering) {
        OnProgress(0);
    }
}

void ConsoleOutput::OnProgress(int percent) {
    std::lock_guard lock(mutex_);
    if (quiet_ || percent == lastProgress_) {
        return;
    }
    lastProgress_ = percent;
    if (!terminal_) {
        out_ << "progress " << percent << "%" << std::endl;
        return;
    }
    const int filled = percent * 30 / 100;
    out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(30 - filled), '.') << "] " << percent << "%"
         << std::flush;
    progressLine_ = true;
}

void ConsoleOutput::ShowTick(const TickResult& tick) {
    bool report = false;
    {
        std::lock_guard lock(mutex_);
        if (tick.outcome == TickOutcome::ListError) {
            report = !std::exchange(listErrorReported_, true);
        } else if (tick.outcome != TickOutcome::None) {
            listErrorReported_ = false;
        }
        if (tick.outcome == TickOutcome::NotConnected) {
            report = !std::exchange(disconnectReported_, true);
        } else if (tick.outcome != TickOutcome::ListError) {
            disconnectReported_ = false;
        }
    }
    if (tick.outcome == TickOutcome::ListError) {
        if (report) {
            Box(tick.listError);
        }
        return;
    }
    if (tick.outcome != TickOutcome::NotConnected || report) {
        Status(TickText(tick.outcome));
    }
    if (tick.outcome == TickOutcome::NotConnected && report) {
        Box(text::kBoxNotConnected);
    }
}

}  // namespace sn::cli
