#include "cli/console_reporter.h"

#include "cli/os_hints.h"

namespace sn::cli {

void ConsoleReporter::ShowLinkMessage(const std::string& text, const std::string& osReason) {
    std::string line = text;
    if (!osReason.empty()) {
        line += "(" + osReason + ")";
        const std::string fix = FixFor(portName_ ? portName_() : std::string(), osReason);
        if (!fix.empty()) {
            line += "\n  " + fix;
        }
    }
    std::lock_guard lock(mutex_);
    if (line != last_) {
        err_ << line << std::endl;
        last_ = line;
    }
}

std::string ConsoleReporter::Last() const {
    std::lock_guard lock(mutex_);
    return last_;
}

}  // namespace sn::cli
