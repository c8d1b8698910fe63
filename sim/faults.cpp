#include "sim/faults.h"

#include <array>
#include <utility>

namespace sn::sim {

namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 9> kNames{{
    {Fault::None, "none"},
    {Fault::Nak, "nak"},
    {Fault::Silence, "silence"},
    {Fault::Split, "split"},
    {Fault::BadChecksum, "badsum"},
    {Fault::WrongAddress, "wrongaddr"},
    {Fault::Noise, "noise"},
    {Fault::AckWithoutStore, "nostore"},
    {Fault::BadLength, "badlen"},
}};

}  // namespace

std::string_view FaultName(Fault fault) {
    for (const auto& [f, name] : kNames) {
        if (f == fault) {
            return name;
        }
    }
    return "?";
}

std::optional<Fault> ParseFault(std::string_view name) {
    for (const auto& [f, n] : kNames) {
        if (n == name) {
            return f;
        }
    }
    return std::nullopt;
}

void FaultScript::Script(std::uint8_t command, std::vector<Fault> attempts) {
    auto& queue = scripted_[command];
    queue.insert(queue.end(), attempts.begin(), attempts.end());
}

void FaultScript::SetStanding(std::uint8_t command, Fault fault) {
    if (fault == Fault::None) {
        standing_.erase(command);
    } else {
        standing_[command] = fault;
    }
}

void FaultScript::Clear() {
    scripted_.clear();
    standing_.clear();
}

Fault FaultScript::Next(std::uint8_t command) {
    if (auto it = scripted_.find(command); it != scripted_.end() && !it->second.empty()) {
        const Fault f = it->second.front();
        it->second.pop_front();
        return f;
    }
    if (auto it = standing_.find(command); it != standing_.end()) {
        return it->second;
    }
    return Fault::None;
}

}  // namespace sn::sim
