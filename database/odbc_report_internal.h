#pragma once
// What the report's two files share: odbc_report_sql.cpp has the server
// count the pagers into lines, odbc_report.cpp forms those lines into the
// local days, hours and shifts the report shows.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "database/odbc.h"
#include "report/report.h"

namespace sn::detail {

inline constexpr std::int64_t kNoTime = INT64_MIN;

// One line of the server's answer: pagers of one first station (and
// operator), slot and class.
struct ReportLine {
    std::string station, op;
    std::int64_t slot = kNoTime;  // the first attempt's slot (UTC); kNoTime: unreadable
    int cls = 0;  // 0 numbered, 1 verified, 2 broken off, 3 refused, 4 released, 5 in doubt
    bool firstPass = false;
    std::int64_t pagers = 0;
    // A pager in doubt or broken off, keyed by its last row's time.
    std::optional<std::pair<std::int64_t, UnfinishedPager>> unfinished;
};

// The server's lines for `options`, on `c`; a history of at least
// `splitFrom` rows is counted in parts, the others each on a new connection
// to `connection` (the password in it).
bool CountReportLines(odbc::Connection& c, const std::string& connection,
                      const ReportOptions& options, double splitFrom,
                      std::vector<ReportLine>& lines, odbc::Diag& d);

}  // namespace sn::detail
