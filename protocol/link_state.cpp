#include "protocol/link_state.h"

namespace sn {

LinkState& ProcessLinkState() {
    static LinkState state;
    return state;
}

}  // namespace sn
