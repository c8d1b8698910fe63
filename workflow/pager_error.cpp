#include "workflow/pager_error.h"

#include "workflow/texts.h"

namespace sn {

const char* BoxText(PagerError error) {
    switch (error) {
        case PagerError::ReadTimedOut:
            return text::kReadError5Read;
        case PagerError::ReadBlock:
            return text::kReadError2;
        case PagerError::ReadFinish:
            return text::kReadError3;
        case PagerError::CloseTimedOut:
            return text::kReadError5Write;
        case PagerError::Close:
            return text::kReadError4;
        case PagerError::WriteStart:
            return text::kWriteError1;
        case PagerError::WriteBlock:
            return text::kWriteError2;
        case PagerError::WriteFinish:
            return text::kWriteError3;
        case PagerError::WriteClose:
            return text::kWriteError4;
        case PagerError::WriteTimedOut:
            return text::kWriteError5;
        case PagerError::None:
        case PagerError::PortNotOpened:
            break;
    }
    return "";
}

std::string ErrorTitle(PagerError error) {
    if (error == PagerError::PortNotOpened) {
        return "the cradle's port could not be opened again";
    }
    const std::string box = BoxText(error);
    return box.substr(0, box.find(" \r\n"));
}

}  // namespace sn
