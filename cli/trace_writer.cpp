#include "cli/trace_writer.h"

#include <cstdio>

namespace sn::cli {

TraceWriter::TraceWriter(std::ostream& out) : out_(out), start_(std::chrono::steady_clock::now()) {}

void TraceWriter::Line(char direction, std::span<const std::uint8_t> bytes) {
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char head[32];
    std::snprintf(head, sizeof head, "[%9.3f] %c", t, direction);
    std::string line = head;
    for (std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    out_ << line << std::endl;
}

void TraceWriter::FrameSent(std::span<const std::uint8_t> frame) {
    std::lock_guard lock(mutex_);
    Line('>', frame);
}

void TraceWriter::ChunkReceived(std::span<const std::uint8_t> chunk) {
    std::lock_guard lock(mutex_);
    burst_.insert(burst_.end(), chunk.begin(), chunk.end());
}

void TraceWriter::BurstEnded() {
    std::lock_guard lock(mutex_);
    if (!burst_.empty()) {
        Line('<', burst_);
    }
    burst_.clear();
}

}  // namespace sn::cli
