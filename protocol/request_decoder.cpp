#include "protocol/request_decoder.h"

#include "protocol/checksum.h"
#include "protocol/frames.h"

namespace sn {

std::uint16_t Request::Address() const {
    if (params.size() < 2) {
        return 0;
    }
    return static_cast<std::uint16_t>(params[0] << 8 | params[1]);
}

std::uint16_t Request::Length() const {
    if (params.size() < 4) {
        return 0;
    }
    return static_cast<std::uint16_t>(params[2] << 8 | params[3]);
}

std::vector<std::uint8_t> Request::Data() const {
    if (params.size() <= 4) {
        return {};
    }
    return {params.begin() + 4, params.end()};
}

void RequestDecoder::Reset() {
    Discard();
}

void RequestDecoder::Discard() {
    stage_ = Stage::Start;
    current_ = Request{};
    paramsExpected_ = 0;
}

std::size_t RequestDecoder::ParamCountSoFar() const {
    return current_.params.size();
}

std::optional<Request> RequestDecoder::Feed(std::uint8_t b) {
    switch (stage_) {
        case Stage::Start:
            if (b == kStx) {
                current_ = Request{};
                current_.raw.push_back(b);
                stage_ = Stage::Source;
            }
            return std::nullopt;
        case Stage::Source:
            if (b != kRequestSource) {
                Discard();
                // A new STX may start right here.
                return b == kStx ? Feed(b) : std::nullopt;
            }
            current_.raw.push_back(b);
            stage_ = Stage::Command;
            return std::nullopt;
        case Stage::Command:
            current_.raw.push_back(b);
            current_.command = b;
            paramsExpected_ = (b == kCmdReadBlock || b == kCmdWriteBlock) ? 4 : 0;
            stage_ = paramsExpected_ > 0 ? Stage::Params : Stage::Checksum;
            return std::nullopt;
        case Stage::Params:
            current_.raw.push_back(b);
            current_.params.push_back(b);
            if (current_.command == kCmdWriteBlock && ParamCountSoFar() == 4) {
                const std::size_t length = current_.Length();
                if (length > kMaxWriteData) {
                    Discard();
                    return std::nullopt;
                }
                paramsExpected_ = 4 + length;
            }
            if (ParamCountSoFar() >= paramsExpected_) {
                stage_ = Stage::Checksum;
            }
            return std::nullopt;
        case Stage::Checksum:
            current_.raw.push_back(b);
            stage_ = Stage::End;
            return std::nullopt;
        case Stage::End: {
            if (b != kEtx) {
                Discard();
                return std::nullopt;
            }
            current_.raw.push_back(b);
            current_.checksumOk =
                FrameChecksum(current_.raw) == current_.raw[current_.raw.size() - 2];
            Request done = std::move(current_);
            Discard();
            return done;
        }
    }
    return std::nullopt;
}

}  // namespace sn
