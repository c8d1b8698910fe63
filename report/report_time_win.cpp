// The local calendar from Windows' time zone settings.

#include "report/report_time.h"

namespace sn {

bool LocalCalendar(std::int64_t utc, std::tm& out) {
    const __time64_t t = static_cast<__time64_t>(utc);
    return _localtime64_s(&out, &t) == 0;
}

}  // namespace sn
