// The substitute pager's side of the line: request frames parsed from any
// byte stream, delivered in pieces. Every request parsed is well formed, the
// pager answers only with well-formed replies, and its memory changes only by
// the write-block requests it acknowledged.
//
// Input: one byte giving the piece size (1 to 256), then the stream.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/request_decoder.h"
#include "sim/substitute_pager.h"

namespace {

using namespace sn;

using sn::fuzz::Require;

void CheckRequest(const Request& r) {
    const auto& raw = r.raw;
    Require(raw.size() == 5 + r.params.size());
    Require(raw[0] == kStx && raw[1] == kRequestSource && raw.back() == kEtx);
    Require(raw[2] == r.command);
    Require(std::equal(r.params.begin(), r.params.end(), raw.begin() + 3));
    Require(r.checksumOk ==
            (SumChecksum(std::span(raw).subspan(1, raw.size() - 3)) == raw[raw.size() - 2]));
    if (r.command == kCmdReadBlock) {
        Require(r.params.size() == 4);
    } else if (r.command == kCmdWriteBlock) {
        Require(r.params.size() == 4u + r.Length());
        Require(r.Length() <= RequestDecoder::kMaxWriteData);
    } else {
        Require(r.params.empty());
    }
}

void CheckReply(std::span<const std::uint8_t> reply) {
    Require(reply.size() >= 5);
    Require(reply[0] == kStx && reply[1] == kReplySource && reply.back() == kEtx);
    Require(FrameChecksum(reply) == reply[reply.size() - 2]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = std::size_t{data[0]} + 1;
    const std::span stream(data + 1, size - 1);

    // What the pager should end up with: the writes of acknowledged requests.
    RequestDecoder decoder;
    sim::SubstitutePager pager;
    std::vector<std::uint8_t> memory = pager.ReadMemory(0, sim::SubstitutePager::kMemorySize);
    std::size_t requests = 0;
    for (std::uint8_t b : stream) {
        if (auto r = decoder.Feed(b)) {
            CheckRequest(*r);
            ++requests;
            const auto d = r->Data();
            if (r->command == kCmdWriteBlock && r->checksumOk && d.size() == r->Length() &&
                r->Address() + d.size() <= memory.size()) {
                std::copy(d.begin(), d.end(), memory.begin() + r->Address());
            }
        }
    }

    std::size_t replies = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const auto bursts =
            pager.Receive(stream.subspan(at, std::min(piece, stream.size() - at)), {});
        for (const sim::ReplyBurst& burst : bursts) {
            CheckReply(burst.bytes);
            ++replies;
        }
    }
    Require(pager.Log().size() == requests);
    Require(replies == requests);  // no faults scripted: one reply each
    Require(pager.ReadMemory(0, sim::SubstitutePager::kMemorySize) == memory);
    return 0;
}
