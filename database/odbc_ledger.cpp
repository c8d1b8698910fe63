// OdbcLedger: the ledger's rows in a PostgreSQL database. A number has a row
// in sn_numbers while it is not free (its flags as the journal's index keeps
// them: used, broken, and the open reservation's token); every reservation
// and settlement also adds a row to sn_rows, the history a report reads.
// sn_cursor keeps, for a series and a first number, the lowest number that
// may be free: every number from `first` below `low` is taken, so the next
// free one is found from there with one indexed range query.
//
// This file holds the connection: making it and making it again, creating
// the tables (Init), Open, and the spool of settlements the database could
// not take, with its delivery and Sync. A number's reservations and
// settlements are odbc_ledger_reserve.cpp's; the next free number and the
// queries odbc_ledger_lookup.cpp's.

#include "database/odbc_ledger.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "database/odbc_ledger_internal.h"
#include "database/odbc_spool.h"
#include "ledger/journal_ledger.h"

namespace sn {

namespace {

using detail::Exec;
using detail::ServerName;
using detail::Trimmed;
using detail::WithPassword;
using odbc::Diag;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS sn_numbers ("
    " serial text PRIMARY KEY,"  // canonical, upper case: the number's unique key
    " series text NOT NULL,"     // the number with its counted digits as '#'
    " num bigint NOT NULL,"      // the counted digits' value
    " used boolean NOT NULL DEFAULT false,"
    " broken boolean NOT NULL DEFAULT false,"
    " token text)",  // the open reservation; NULL once settled
    "CREATE INDEX IF NOT EXISTS sn_numbers_series ON sn_numbers (series, num)",
    "CREATE INDEX IF NOT EXISTS sn_numbers_unfinished ON sn_numbers (serial)"
    " WHERE token IS NOT NULL OR broken",
    "CREATE TABLE IF NOT EXISTS sn_rows ("
    " id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
    " time text NOT NULL, station text NOT NULL, port text NOT NULL, model text NOT NULL,"
    " serial_before text NOT NULL, serial_written text NOT NULL, outcome text NOT NULL,"
    " version text NOT NULL, operator text NOT NULL, token text NOT NULL,"
    " recorded timestamptz NOT NULL DEFAULT now())",
    // The row's time in UTC seconds, NULL when it does not read as the
    // journal reads a time: the report counts by it without parsing text.
    "ALTER TABLE sn_rows ADD COLUMN IF NOT EXISTS utc bigint GENERATED ALWAYS AS (CASE WHEN time"
    " ~ '^[0-9]{4}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])T([01][0-9]|2[0-3]):[0-5][0-9]:"
    "([0-5][0-9]|60)([.][0-9]*)?([Zz]|[-+]([01][0-9]|2[0-3]):?[0-5][0-9])$' THEN"
    " (make_date(substr(time, 1, 4)::int + 400, substr(time, 6, 2)::int, 1)"
    " - date '1970-01-01' - 146097 + substr(time, 9, 2)::int - 1)::bigint * 86400"
    " + substr(time, 12, 2)::int * 3600 + substr(time, 15, 2)::int * 60"
    " + substr(time, 18, 2)::int - CASE WHEN right(time, 1) IN ('Z', 'z') THEN 0"
    " WHEN substr(time, length(time) - 2, 1) = ':' THEN"
    " (CASE WHEN substr(time, length(time) - 5, 1) = '-' THEN -60 ELSE 60 END)"
    " * (substr(time, length(time) - 4, 2)::int * 60 + right(time, 2)::int)"
    " ELSE (CASE WHEN substr(time, length(time) - 4, 1) = '-' THEN -60 ELSE 60 END)"
    " * (substr(time, length(time) - 3, 2)::int * 60 + right(time, 2)::int) END END) STORED",
    // 1 a reservation, 2 written, 3 verified, 0 anything else.
    "ALTER TABLE sn_rows ADD COLUMN IF NOT EXISTS step smallint GENERATED ALWAYS AS (CASE outcome"
    " WHEN 'reserved' THEN 1 WHEN 'written' THEN 2 WHEN 'verified' THEN 3 ELSE 0 END) STORED",
    // A number's history in order, with what the report reads of it.
    "CREATE INDEX IF NOT EXISTS sn_rows_history ON sn_rows (serial_written, id)"
    " INCLUDE (step, utc, station, operator)",
    "DROP INDEX IF EXISTS sn_rows_serial",
    "CREATE TABLE IF NOT EXISTS sn_cursor ("
    " series text NOT NULL, first bigint NOT NULL, low bigint NOT NULL,"
    " PRIMARY KEY (series, first))",
};

// The value of `key` in an ODBC connection string ("" when absent).
std::string Attribute(const std::string& connection, const std::string& key) {
    std::size_t at = 0;
    while (at < connection.size()) {
        const std::size_t eq = connection.find('=', at);
        if (eq == std::string::npos) {
            break;
        }
        std::string name = connection.substr(at, eq - at);
        name.erase(0, name.find_first_not_of(' '));
        std::size_t end = eq + 1;
        if (end < connection.size() && connection[end] == '{') {
            end = connection.find('}', end);
            end = end == std::string::npos ? connection.size() : end + 1;
        }
        end = std::min(connection.find(';', end), connection.size());
        std::string value = connection.substr(eq + 1, end - eq - 1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name == key) {
            return value;
        }
        at = end + 1;
    }
    return {};
}

std::string Quoted(const std::string& identifier) {
    std::string out = "\"";
    for (char ch : identifier) {
        out += ch;
        if (ch == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

}  // namespace

namespace detail {

// The server a connection string names, for messages (never its password).
std::string ServerName(const std::string& connection) {
    const std::string server = Attribute(connection, "server");
    if (!server.empty()) {
        const std::string port = Attribute(connection, "port");
        return port.empty() ? server : server + ":" + port;
    }
    const std::string dsn = Attribute(connection, "dsn");
    return dsn.empty() ? "the connection string names" : "(data source " + dsn + ")";
}

// The driver's reason comes in lines ("...failed: Connection refused\n\tIs
// the server running...?"): said here as one sentence.
std::string Unreachable(const std::string& connection, const odbc::Diag& diag) {
    std::string reason;
    for (char c : Trimmed(diag.message)) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!blank || (!reason.empty() && reason.back() != ' ')) {
            reason.push_back(blank ? ' ' : c);
        }
    }
    const bool ended = !reason.empty() && (reason.back() == '?' || reason.back() == '!');
    return "The production database at " + ServerName(connection) +
           " cannot be reached: " + reason + (ended ? "" : ".");
}

std::string WithPassword(const std::string& connection, const std::string& password) {
    if (password.empty()) {
        return connection;
    }
    std::string full = connection;
    if (!full.empty() && full.back() != ';') {
        full += ';';
    }
    return full + "Pwd=" + odbc::Braced(password) + ";";
}

std::string Trimmed(std::string text) {
    while (!text.empty() &&
           (std::isspace(static_cast<unsigned char>(text.back())) != 0 || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

std::string Get(odbc::Statement& st, int column, odbc::Diag& diag) {
    return st.Text(column, diag).value_or(std::string());
}

bool Exec(odbc::Connection& c, const std::string& sql, const std::vector<odbc::Value>& params,
          odbc::Diag& diag) {
    odbc::Statement st(c);
    return st.Run(sql, params, diag);
}

}  // namespace detail

OdbcLedger::OdbcLedger(DbLedgerOptions options) : options_(std::move(options)) {
    CountSpool();
}

OdbcLedger::~OdbcLedger() = default;

// ---- the connection and the spool

std::string OdbcLedger::Unreachable(const Diag& diag) const {
    return detail::Unreachable(options_.connection, diag);
}

LogRow OdbcLedger::Stamped(LogRow row) const {
    if (!options_.station.empty()) {
        row.station = options_.station;
    }
    if (!options_.operatorName.empty()) {
        row.operatorName = options_.operatorName;
    }
    return row;
}

bool OdbcLedger::Connect(Diag& diag) {
    if (connection_.Connected()) {
        return true;
    }
    return connection_.Connect(WithPassword(options_.connection, options_.password), diag);
}

bool OdbcLedger::WithDb(const Work& work, Diag& diag) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int delivered = 0;
        if (Connect(diag) && (spoolWaiting_ == 0 || DeliverSpool(delivered, diag)) && work(diag)) {
            return true;
        }
        connection_.Rollback();
        if (!diag.ConnectionLost() && connection_.Connected()) {
            return false;  // the database answered: no second try
        }
        connection_.Disconnect();
    }
    return false;
}

void OdbcLedger::CountSpool() {
    std::error_code ec;
    if (options_.spoolPath.empty() || !std::filesystem::exists(options_.spoolPath, ec)) {
        spoolWaiting_ = 0;
        return;
    }
    SpoolFile file;
    std::string text;
    std::string error;
    int lines = 0;
    if (file.Open(options_.spoolPath, error) && file.ReadAll(text, error)) {
        lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    spoolWaiting_ = lines;
}

bool OdbcLedger::Spool(const Reservation& reservation, const LogRow& row, std::string& error) {
    if (options_.spoolPath.empty() || reservation.token.empty()) {
        return false;
    }
    std::error_code ec;
    const auto folder = std::filesystem::path(options_.spoolPath).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
    }
    SpoolFile file;
    std::string text;
    if (!file.Open(options_.spoolPath, error) || !file.ReadAll(text, error) ||
        !file.Append(odbc::Braced(reservation.token) + "," + FormatCsvRow(row), error)) {
        return false;
    }
    spoolWaiting_ = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    return true;
}

bool OdbcLedger::DeliverSpool(int& delivered, Diag& diag) {
    SpoolFile file;
    std::string text;
    std::string error;
    if (!file.Open(options_.spoolPath, error) || !file.ReadAll(text, error)) {
        diag = {"HY000", error};
        return false;
    }
    CsvSplitter splitter;
    bool ok = true;
    splitter.Split(text, true, [&](const CsvRecord& record) {
        // A line torn by a crash lost its settlement: the number stays in doubt.
        if (!ok || !record.terminated || record.fields.size() < 2) {
            return;
        }
        std::string token(record.fields[0]);
        if (token.size() > 2 && token.front() == '{' && token.back() == '}') {
            token = token.substr(1, token.size() - 2);
        }
        ok = DeliverLine(token, RowFromFields(record.fields.subspan(1)), diag);
        delivered += ok ? 1 : 0;
    });
    if (!ok || !file.Clear(error)) {
        // Delivered lines are delivered again next time, and DeliverLine
        // records each of them once.
        if (ok) {
            diag = {"HY000", error};
        }
        return false;
    }
    spoolWaiting_ = 0;
    return true;
}

// A delivery broken off before the spool was cleared sends its lines again:
// a line whose row is already there was delivered, and a second row would
// count its pager twice.
bool OdbcLedger::DeliverLine(const std::string& token, const LogRow& row, Diag& diag) {
    odbc::Statement seen(connection_);
    if (!seen.Run("SELECT 1 FROM sn_rows WHERE serial_written = ? AND token = ? AND outcome = ?"
                  " AND time = ? LIMIT 1",
                  {row.serialWritten, token, row.outcome, row.time}, diag)) {
        return false;
    }
    const bool delivered = seen.Fetch(diag);
    return diag.state.empty() &&
           (delivered || (SettleNumber(token, row, diag) && AddRow(row, token, diag))) &&
           connection_.Commit(diag);
}

bool OdbcLedger::Sync(int& delivered, std::string& error) {
    std::lock_guard lock(mutex_);
    CountSpool();  // other processes may have spooled too
    const int waiting = spoolWaiting_;
    delivered = 0;
    Diag diag;
    if (WithDb([](Diag&) { return true; }, diag)) {
        delivered = waiting;
        return true;
    }
    error = Unreachable(diag);
    return false;
}

// ---- the ledger's tables

bool OdbcLedger::Open(std::vector<std::string>&, std::string& error) {
    std::lock_guard lock(mutex_);
    Diag diag;
    const bool done = WithDb(
        [&](Diag& d) {
            const bool ok = Exec(connection_, "SELECT 1 FROM sn_numbers LIMIT 1", {}, d);
            connection_.Rollback();
            return ok;
        },
        diag);
    if (done) {
        return true;
    }
    if (diag.state == "42P01") {
        error = "The production database at " + ServerName(options_.connection) +
                " has no ledger tables yet; sntool ledger init creates them.";
    } else {
        error = Unreachable(diag);
    }
    return false;
}

bool OdbcLedger::Init(const std::string& connection, const std::string& password,
                      const std::string& role, std::string& grants, std::string& error) {
    odbc::Connection c;
    Diag diag;
    bool ok = c.Connect(WithPassword(connection, password), diag);
    for (const char* ddl : kSchema) {
        ok = ok && Exec(c, ddl, {}, diag);
    }
    ok = ok && c.Commit(diag);
    if (!ok) {
        error = "The ledger's tables could not be created in the production database at " +
                ServerName(connection) + ": " + Trimmed(diag.message) + ".";
        return false;
    }
    const std::string r = Quoted(role);
    grants = "GRANT SELECT, INSERT, UPDATE, DELETE ON sn_numbers, sn_cursor TO " + r +
             ";\nGRANT SELECT, INSERT ON sn_rows TO " + r +
             ";\nGRANT USAGE ON SEQUENCE sn_rows_id_seq TO " + r + ";\n";
    return true;
}

}  // namespace sn
