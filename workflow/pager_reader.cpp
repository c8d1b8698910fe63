#include "workflow/pager_reader.h"

#include "protocol/frames.h"
#include "protocol/pager_memory.h"

namespace sn {

namespace {

PagerError ErrorFor(StepResult r, PagerError timedOut, PagerError exhausted) {
    return r == StepResult::Timeout ? timedOut : exhausted;
}

}  // namespace

BlockReadResult ReadPagerBlocks(PagerExchange& exchange, std::span<const unsigned> blocks,
                                const std::function<void(int)>& progress) {
    BlockReadResult result;
    result.bytes.resize(blocks.size() * kBlockSize);
    exchange.Pause(100);
    int retries = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::span<std::uint8_t, kBlockSize> out(result.bytes.data() + i * kBlockSize,
                                                      kBlockSize);
        const StepResult r = exchange.ReadBlock(blocks[i], retries, out);
        if (r != StepResult::Ok) {
            result.error = ErrorFor(r, PagerError::ReadTimedOut, PagerError::ReadBlock);
            return result;
        }
        if (progress) {
            progress(static_cast<int>((i + 1) * 100 / blocks.size()));
        }
    }
    exchange.Pause(100);
    if (StepResult r = exchange.FixedCommand(kReadFinishFrame); r != StepResult::Ok) {
        result.error = ErrorFor(r, PagerError::ReadTimedOut, PagerError::ReadFinish);
        return result;
    }
    exchange.Pause(50);
    if (StepResult r = exchange.FixedCommand(kClosingFrame); r != StepResult::Ok) {
        result.error = ErrorFor(r, PagerError::CloseTimedOut, PagerError::Close);
    }
    return result;
}

}  // namespace sn
