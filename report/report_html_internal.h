#pragma once
// What the report's page and its chart share: the escape every text from a
// pager or a person goes through, and how a local time reads.

#include <cstdint>
#include <string>
#include <string_view>

#include "report/report.h"

namespace sn::detail {

// Text made safe inside an element or a quoted attribute: & < > " ' become
// character references, so "<script>" or "=1+1" shows as exactly that.
std::string HtmlEscape(std::string_view text);
// "+01:00" for 60 minutes east of UTC.
std::string OffsetText(int offsetMinutes);
// The pagers per hour, one row of stacked bars per station, as an inline
// <svg> element; a sentence when there are no hours.
std::string ReportChartSvg(const Report& report);

}  // namespace sn::detail
