#pragma once
// The numbered errors of the workflow's steps, each with the box that tells
// the operator of it ("Write Error #2 \r\n\r\nUnable to write the pager...").

#include <cstdint>
#include <string>

namespace sn {

enum class PagerError : std::uint8_t {
    None,
    ReadTimedOut,   // Read Error #5: no answer while the area was read
    ReadBlock,      // Read Error #2: a block could not be read
    ReadFinish,     // Read Error #3: the read-finish command
    CloseTimedOut,  // Read Error #5: no answer to the closing command after a refusal
    Close,          // Read Error #4: the closing command after a refusal
    WriteStart,     // Write Error #1
    WriteBlock,     // Write Error #2
    WriteFinish,    // Write Error #3
    WriteClose,     // Write Error #4: the closing command after the write
    WriteTimedOut,  // Write Error #5: no answer while the pager was written
    PortNotOpened,  // the cradle's port could not be opened again (no box of its own)
};

// The box's whole text; "" for None and PortNotOpened.
const char* BoxText(PagerError error);
// The box's numbered title, "Write Error #2"; for PortNotOpened what
// happened; "" for None.
std::string ErrorTitle(PagerError error);

}  // namespace sn
