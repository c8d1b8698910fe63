#pragma once
// The serial link's own messages on stderr, with the OS's reason and, where
// one is known, the fix. A message repeated by every monitor tick is printed
// once until another one comes.

#include <functional>
#include <mutex>
#include <ostream>
#include <string>

#include "serial/link_reporter.h"

namespace sn::cli {

class ConsoleReporter final : public LinkReporter {
  public:
    ConsoleReporter(std::ostream& err, std::function<std::string()> portName)
        : err_(err), portName_(std::move(portName)) {}
    void ShowLinkMessage(const std::string& text, const std::string& osReason) override;
    // The last message, or "" if none came.
    std::string Last() const;

  private:
    std::ostream& err_;
    std::function<std::string()> portName_;
    mutable std::mutex mutex_;
    std::string last_;
};

}  // namespace sn::cli
