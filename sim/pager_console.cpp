#include "sim/pager_console.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "protocol/frames.h"

namespace sn::sim {

namespace {

constexpr std::array<std::pair<const char*, std::uint8_t>, 8> kCommands{{
    {"probe", kCmdPresenceProbe},
    {"status", kCmdStatusQuery},
    {"read", kCmdReadBlock},
    {"read-finish", kCmdReadFinish},
    {"write-start", kCmdWriteStart},
    {"write", kCmdWriteBlock},
    {"write-finish", kCmdWriteFinish},
    {"closing", kCmdClosing},
}};

constexpr const char* kHelp =
    "commands:\n"
    "  seat | remove                 put the pager in the cradle or take it out\n"
    "  plug | unplug                 create or remove the cradle's link\n"
    "  model CODE                    set the model code\n"
    "  numbered on|off               give the pager a serial number or take it away\n"
    "  serial-bit mark|finish        the status bit follows the mark byte, or only\n"
    "                                a write-finish sets it\n"
    "  status-byte HEX|auto          force the status reply's first data byte\n"
    "  fault COMMAND KIND [N|always] [after M]\n"
    "                                misbehave on the next N requests (default 1),\n"
    "                                or on N requests after the next M\n"
    "      COMMAND: probe status read read-finish write-start write write-finish closing\n"
    "      KIND: nak silence split badsum wrongaddr noise nostore badlen\n"
    "  clear                         forget all faults\n"
    "  reset                         a fresh unnumbered pager\n"
    "  traffic [clear]               the requests received so far (or forget them)\n"
    "  memory ADDR [LEN]             hex dump of pager memory\n"
    "  help | quit\n";

std::string Hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
    return buf;
}

}  // namespace

int ParseCommandName(const std::string& name) {
    for (const auto& [n, c] : kCommands) {
        if (name == n) {
            return c;
        }
    }
    try {
        std::size_t used = 0;
        const unsigned long v = std::stoul(name, &used, 16);
        return used == name.size() && v < 256 ? static_cast<int>(v) : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

const char* CommandName(std::uint8_t command) {
    for (const auto& [n, c] : kCommands) {
        if (c == command) {
            return n;
        }
    }
    return "?";
}

PagerConsole::PagerConsole(SubstitutePager& pager, std::string portPath, std::string linkPath)
    : pager_(pager), portPath_(std::move(portPath)), linkPath_(std::move(linkPath)) {}

bool PagerConsole::Plug() {
    if (linkPath_.empty()) {
        return false;
    }
    std::error_code ec;
    std::filesystem::remove(linkPath_, ec);
    std::filesystem::create_symlink(portPath_, linkPath_, ec);
    return !ec;
}

bool PagerConsole::Unplug() {
    std::error_code ec;
    return !linkPath_.empty() && std::filesystem::remove(linkPath_, ec);
}

std::string PagerConsole::Fault(const std::string& args) {
    std::istringstream in(args);
    std::string command, kind, count = "1", after, skip = "0";
    in >> command >> kind >> count >> after >> skip;
    const int cmd = ParseCommandName(command);
    const auto fault = ParseFault(kind);
    int skipped = -1;
    try {
        skipped = (after.empty() || after == "after") ? std::stoi(skip) : -1;
    } catch (const std::exception&) {
        skipped = -1;
    }
    if (cmd < 0 || !fault || skipped < 0 || skipped > 1000 || (count == "always" && skipped > 0)) {
        return "usage: fault COMMAND KIND [N|always] [after M]\n";
    }
    const auto c = static_cast<std::uint8_t>(cmd);
    if (count == "always") {
        pager_.SetStandingFault(c, *fault);
        return "ok: every " + command + " request: " + kind + "\n";
    }
    int n = 0;
    try {
        n = std::stoi(count);
    } catch (const std::exception&) {
        n = -1;
    }
    if (n < 1 || n > 1000) {
        return "usage: fault COMMAND KIND [N|always] [after M]\n";
    }
    std::vector<sim::Fault> script(static_cast<std::size_t>(skipped), sim::Fault::None);
    script.insert(script.end(), static_cast<std::size_t>(n), *fault);
    pager_.ScriptFaults(c, script);
    return "ok: " + std::string(skipped > 0 ? "after " + std::to_string(skipped) + ", " : "") +
           "next " + std::to_string(n) + " " + command + " request(s): " + kind + "\n";
}

std::string PagerConsole::Traffic() const {
    std::ostringstream out;
    for (const auto& e : pager_.Log()) {
        char t[32];
        std::snprintf(t, sizeof t, "%10.3f s  ", static_cast<double>(e.at.count()) / 1e9);
        out << t << Hex2(e.request.command) << " " << CommandName(e.request.command);
        if (e.request.command == kCmdReadBlock || e.request.command == kCmdWriteBlock) {
            out << " 0x" << Hex2(e.request.Address() >> 8) << Hex2(e.request.Address());
        }
        if (!e.request.checksumOk) {
            out << " (bad checksum)";
        }
        if (e.fault != Fault::None) {
            out << " [" << FaultName(e.fault) << "]";
        }
        out << "\n";
    }
    return out.str();
}

std::string PagerConsole::Memory(const std::string& args) const {
    std::istringstream in(args);
    std::string a, l = "40";
    in >> a >> l;
    unsigned long address = 0;
    unsigned long length = 0;
    try {
        address = std::stoul(a, nullptr, 16);
        length = std::stoul(l, nullptr, 16);
    } catch (const std::exception&) {
        return "usage: memory ADDR [LEN] (hex)\n";
    }
    const auto bytes = pager_.ReadMemory(static_cast<std::uint16_t>(address),
                                         std::min<std::size_t>(length, 0x400));
    if (address > 0xFFFF || bytes.empty()) {
        return "out of range\n";
    }
    std::ostringstream out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) {
            out << (i ? "\n" : "") << Hex2((address + i) >> 8) << Hex2(address + i) << ":";
        }
        out << " " << Hex2(bytes[i]);
    }
    out << "\n";
    return out.str();
}

std::string PagerConsole::Execute(const std::string& line, bool& quit) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    std::string rest;
    std::getline(in, rest);
    if (word.empty()) {
        return "";
    }
    if (word == "quit" || word == "exit") {
        quit = true;
        return "bye\n";
    }
    if (word == "help") {
        return kHelp;
    }
    if (word == "seat" || word == "remove") {
        pager_.SetSeated(word == "seat");
        return word == "seat" ? "ok: pager seated\n" : "ok: pager removed\n";
    }
    if (word == "plug") {
        return Plug() ? "ok: cradle plugged in at " + linkPath_ + "\n" : "no --link to plug\n";
    }
    if (word == "unplug") {
        return Unplug() ? "ok: cradle unplugged\n" : "nothing to unplug\n";
    }
    if (word == "model") {
        std::istringstream args(rest);
        std::string code;
        args >> code;
        pager_.SetModelCode(code);
        return "ok: model " + code + "\n";
    }
    if (word == "numbered") {
        const bool on = rest.find("on") != std::string::npos;
        pager_.SetNumbered(on);
        return on ? "ok: numbered\n" : "ok: not numbered\n";
    }
    if (word == "serial-bit") {
        std::istringstream args(rest);
        std::string v;
        args >> v;
        if (v != "mark" && v != "finish") {
            return "usage: serial-bit mark|finish\n";
        }
        pager_.SetSerialBit(v == "mark" ? SerialBit::FromMarkByte : SerialBit::OnWriteFinish);
        return v == "mark" ? "ok: status bit from the mark byte\n"
                           : "ok: status bit set by write-finish\n";
    }
    if (word == "status-byte") {
        std::istringstream args(rest);
        std::string v;
        args >> v;
        if (v == "auto") {
            pager_.SetStatusByteOverride(std::nullopt);
            return "ok: status byte from memory\n";
        }
        int b = -1;
        try {
            std::size_t used = 0;
            const unsigned long parsed = std::stoul(v, &used, 16);
            b = used == v.size() && parsed < 256 ? static_cast<int>(parsed) : -1;
        } catch (const std::exception&) {
            b = -1;
        }
        if (b < 0) {
            return "usage: status-byte HEX|auto\n";
        }
        pager_.SetStatusByteOverride(static_cast<std::uint8_t>(b));
        return "ok: status byte " + Hex2(static_cast<unsigned>(b)) + "\n";
    }
    if (word == "fault") {
        return Fault(rest);
    }
    if (word == "clear") {
        pager_.ClearFaults();
        return "ok: no faults\n";
    }
    if (word == "reset") {
        pager_.Reset();
        return "ok: fresh pager\n";
    }
    if (word == "traffic") {
        if (rest.find("clear") != std::string::npos) {
            pager_.ClearLog();
            return "ok: traffic forgotten\n";
        }
        return Traffic();
    }
    if (word == "memory") {
        return Memory(rest);
    }
    return "unknown command '" + word + "' (try help)\n";
}

}  // namespace sn::sim
