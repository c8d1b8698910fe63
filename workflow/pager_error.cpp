#include "workflow/pager_error.h"

#include "workflow/texts.h"

namespace sn {

const char* BoxText(PagerError error) {
    // In the order of PagerError.
    static constexpr const char* kBoxes[] = {
        "",
        text::kReadError5Read,
        text::kReadError2,
        text::kReadError3,
        text::kReadError5Write,
        text::kReadError4,
        text::kWriteError1,
        text::kWriteError2,
        text::kWriteError3,
        text::kWriteError4,
        text::kWriteError5,
        "",
    };
    return kBoxes[static_cast<std::size_t>(error)];
}

std::string ErrorTitle(PagerError error) {
    if (error == PagerError::PortNotOpened) {
        return "the cradle's port could not be opened again";
    }
    const std::string box = BoxText(error);
    return box.substr(0, box.find(" \r\n"));
}

}  // namespace sn
