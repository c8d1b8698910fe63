#pragma once
// The workflow's texts, exactly as the operator sees them.

namespace sn::text {

inline constexpr const char* kCaption = "Serial Number Tool";

// Status line.
inline constexpr const char* kCheckSerial = " Check the Serial Number.";
inline constexpr const char* kEnterSerial = " Enter the Serial Number.";
inline constexpr const char* kSerialInvalid =
    " Serial Number is invalid, please check and try again.";
inline constexpr const char* kClickWrite = " Click the 'Write the Serial Number' Button.";
inline constexpr const char* kNotConnected = " USB device not connected!";
inline constexpr const char* kSeatPager =
    " Please make sure that pager is properly seated in programming cradle.";
inline constexpr const char* kAlreadyNumbered =
    " This pager already has a Serial Number. \r\n So, it can not modify any more.";
inline constexpr const char* kGathering = " Gathering Pager information...";
inline constexpr const char* kModelRefused = " This model can not modify the Serial Number.";
inline constexpr const char* kWriting = " It is undergoing the serial number changes.";
inline constexpr const char* kCompleted = " Successfully completed.";
// The window was closed while a transaction ran: it closes after it.
inline constexpr const char* kClosingAfterPager =
    " The window closes once this pager is finished. Please wait.";

// Message boxes.
inline constexpr const char* kBoxNotConnected =
    "Communication Error #1 \r\n\r\nUSB device not connected! \r\nPlease connect the pager "
    "programming cradle to your PC and try again.";
inline constexpr const char* kReadError5Read =
    "Read Error #5 \r\n\r\nUnable to read the pager; connection timed out.  Please try again. ";
inline constexpr const char* kReadError2 =
    "Read Error #2 \r\n\r\nUnable to read the pager. Please try again. ";
inline constexpr const char* kReadError3 =
    "Read Error #3 \r\n\r\nUnable to read the pager. Please try again. ";
inline constexpr const char* kReadError5Write =
    "Read Error #5 \r\n\r\nUnable to write the pager; connection timed out. Please try again. ";
inline constexpr const char* kReadError4 =
    "Read Error #4 \r\n\r\nUnable to write the pager. Please try again. ";
inline constexpr const char* kWriteError1 =
    "Write Error #1 \r\n\r\nUnable to write the pager. Please try again. ";
inline constexpr const char* kWriteError2 =
    "Write Error #2 \r\n\r\nUnable to write the pager. Please try again. ";
inline constexpr const char* kWriteError3 =
    "Write Error #3 \r\n\r\nUnable to write the pager. Please try again. ";
inline constexpr const char* kWriteError4 =
    "Write Error #4 \r\n\r\nUnable to write the pager. Please try again. ";
inline constexpr const char* kWriteError5 =
    "Write Error #5 \r\n\r\nUnable to write the pager; connection timed out. Please try again. ";

}  // namespace sn::text
