#pragma once
// A LinkReporter that records the messages instead of showing them.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "serial/link_reporter.h"

namespace sn::testing {

class RecordingReporter final : public LinkReporter {
  public:
    void ShowLinkMessage(const std::string& text, const std::string& osReason) override {
        std::lock_guard lock(mutex_);
        messages_.emplace_back(text, osReason);
    }
    std::vector<std::pair<std::string, std::string>> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& m : Messages()) {
            out.push_back(m.first);
        }
        return out;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> messages_;
};

}  // namespace sn::testing
