#pragma once
// OdbcReportSource: the production report over the database ledger's rows,
// counted by the server. It holds a connection of its own, made from the
// same connection string and password the ledger takes, so that a report
// never waits behind the ledger's reservations, and a station's counts need
// no ledger at all. A dropped connection is made again and the count tried
// once more.

#include <string>

#include "database/odbc.h"
#include "report/report_source.h"

namespace sn {

class OdbcReportSource final : public ReportSource {
  public:
    // `connection` and `password` as DbLedgerOptions has them. A history of
    // at least `splitFrom` rows (as the server estimates them) is counted in
    // parts at once.
    OdbcReportSource(std::string connection, std::string password, double splitFrom = 200000);

    bool Build(const ReportOptions& options, Report& report, std::string& error) override;

  private:
    std::string connection_;
    std::string password_;
    double splitFrom_;
    odbc::Connection db_;
};

}  // namespace sn
