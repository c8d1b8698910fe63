#pragma once
// OdbcLedger: the ledger of every station at once, in a PostgreSQL database
// reached through ODBC. The numbers' rows decide as the CSV journal's do (the
// same used / released / in-doubt table holds for both); uniqueness rests on
// the database's unique key on the canonical number, so stations never check
// and then write as two steps. A reservation is one INSERT; a release deletes
// the number's row, and only while the row is still that reservation's.
//
// A dropped connection (a server restart) is connected again at the next
// operation, which is tried once more. A settlement the database cannot
// take goes to a local spool file and is delivered at the next operation
// that reaches the database (or by Sync); until then the number stays
// reserved there, in doubt for everyone.
//
// Every value reaches the database as a bound parameter.
//
// Threads: see docs/threads.md (the ledger).

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "database/odbc.h"
#include "ledger/ledger.h"

namespace sn {

struct DbLedgerOptions {
    // An ODBC connection string, e.g. "Driver={PostgreSQL Unicode};
    // Server=127.0.0.1;Port=5432;Database=postgres;Uid=sn;" or "DSN=pagers".
    std::string connection;
    // Added as Pwd= inside the program only, never shown; "" leaves it to the
    // DSN, PGPASSFILE or .pgpass.
    std::string password;
    std::string station;       // recorded in every row
    std::string operatorName;  // recorded in every row
    std::string spoolPath;     // settlements the database could not take
};

class OdbcLedger final : public Ledger {
  public:
    explicit OdbcLedger(DbLedgerOptions options);
    ~OdbcLedger() override;

    bool Open(std::vector<std::string>& notes, std::string& error) override;
    std::optional<Refusal> Check(const Serial& serial, ReserveMode mode) override;
    std::optional<Refusal> Reserve(Reservation& reservation, ReserveMode mode) override;
    bool Settle(const Reservation& reservation, const LogRow& row, std::string& error) override;
    std::optional<Serial> NextFree(const Serial& from, std::string& why) override;
    LedgerEntry Lookup(const Serial& serial) override;
    std::vector<LedgerEntry> Unfinished() override;

    // Creates the tables and indexes that are missing (a second run changes
    // nothing); `grants` gets the GRANT statements that let the role `role`
    // read and write the ledger's rows, without changing its tables.
    static bool Init(const std::string& connection, const std::string& password,
                     const std::string& role, std::string& grants, std::string& error);
    // Delivers the spooled settlements now; false, with `error`, when the
    // database cannot be reached (they stay spooled).
    bool Sync(int& delivered, std::string& error);
    // Settlements waiting in the spool (a cached count).
    int SpoolWaiting() const { return spoolWaiting_.load(); }

  private:
    using Work = std::function<bool(odbc::Diag&)>;
    // Runs `work` on a live connection, the spool delivered first; a lost
    // connection is made again and `work` tried once more.
    bool WithDb(const Work& work, odbc::Diag& diag);
    bool Connect(odbc::Diag& diag);
    bool DeliverSpool(int& delivered, odbc::Diag& diag);
    bool DeliverLine(const std::string& token, const LogRow& row, odbc::Diag& diag);
    bool Spool(const Reservation& reservation, const LogRow& row, std::string& error);
    void CountSpool();

    bool ReadState(const std::string& serial, NumberState& state, bool& exists, odbc::Diag& diag,
                   bool forUpdate = false);
    bool LastRow(const std::string& serial, LogRow& row, odbc::Diag& diag);
    bool Describe(const std::string& serial, LedgerEntry& entry, odbc::Diag& diag);
    bool AddRow(const LogRow& row, const std::string& token, odbc::Diag& diag);
    bool InsertReserved(const std::string& serial, const std::string& token, odbc::Diag& diag);
    bool TakeAgain(const std::string& serial, const std::string& token, odbc::Diag& diag);
    bool SettleNumber(const std::string& token, const LogRow& row, odbc::Diag& diag);
    bool ReleaseNumber(const std::string& serial, const std::string& token, odbc::Diag& diag);
    bool StartFrom(const std::string& series, std::int64_t from, std::int64_t& start,
                   std::int64_t& first, odbc::Diag& diag);
    bool FreeAfter(const std::string& series, std::int64_t from, std::int64_t& free,
                   odbc::Diag& diag);

    std::optional<Refusal> Decide(const std::string& serial, ReserveMode mode, bool& reusing,
                                  odbc::Diag& diag);
    std::optional<Refusal> ReserveOnce(const std::string& serial, const std::string& token,
                                       const LogRow& row, ReserveMode mode, bool& reusing,
                                       bool& raced, odbc::Diag& diag);
    bool ReserveRetried(const std::string& serial, const std::string& token, const LogRow& row,
                        ReserveMode mode, bool& reusing, std::optional<Refusal>& refusal,
                        odbc::Diag& diag);
    std::optional<std::string> NextFreeIn(const std::string& from, std::string& why,
                                          odbc::Diag& diag);
    std::string Unreachable(const odbc::Diag& diag) const;
    LogRow Stamped(LogRow row) const;

    DbLedgerOptions options_;
    mutable std::mutex mutex_;
    odbc::Connection connection_;
    std::atomic<int> spoolWaiting_{0};
};

}  // namespace sn
