#pragma once
// Reads blocks of pager memory the way the read transaction reads the
// information area: 100 ms, the block reads with one shared budget of five
// failures and growing pauses, 100 ms, the read-finish command; then, as
// after a refused model, 50 ms and the closing command. The engine's Read
// and a write's read back use it, over a link the monitor found a pager on.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "workflow/pager_error.h"
#include "workflow/pager_exchange.h"

namespace sn {

struct BlockReadResult {
    PagerError error = PagerError::None;  // None on success
    std::vector<std::uint8_t> bytes;      // the blocks' bytes, in the order asked
};

// `progress` (may be empty) gets 0..100 after each block.
BlockReadResult ReadPagerBlocks(PagerExchange& exchange, std::span<const unsigned> blocks,
                                const std::function<void(int)>& progress = {});

}  // namespace sn
