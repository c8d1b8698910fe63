// The local calendar from the C library's time zone rules (TZ, /etc/localtime).

#include "report/report_time.h"

namespace sn {

bool LocalCalendar(std::int64_t utc, std::tm& out) {
    const std::time_t t = static_cast<std::time_t>(utc);
    return localtime_r(&t, &out) != nullptr;
}

}  // namespace sn
