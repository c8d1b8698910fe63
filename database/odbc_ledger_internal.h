#pragma once
// What the OdbcLedger's three files share: a number split at its counted
// digits, a number's state from its row's flags, and the small steps every
// statement takes (the report's files take those too). odbc_ledger.cpp
// holds the connection and the spool, odbc_ledger_reserve.cpp a number's
// state and its reservations and settlements, odbc_ledger_lookup.cpp the
// next free number and the queries.

#include <cstdint>
#include <string>
#include <vector>

#include "database/odbc.h"
#include "ledger/ledger.h"

namespace sn::detail {

// A number split at its rightmost run of digits, the run NextSerial counts.
struct Split {
    std::string series;  // the digits as '#': AB12CD0042 -> AB12CD####
    std::int64_t num = 0;
    std::size_t at = 0;
    std::size_t width = 0;
    std::int64_t Last() const {
        std::int64_t last = 0;
        for (std::size_t i = 0; i < width; ++i) {
            last = last * 10 + 9;
        }
        return last;
    }
};

Split SplitSerial(const std::string& serial);
NumberState StateOf(bool used, bool broken, bool open);

// A column's text, "" when NULL or unreadable (then `diag` says why).
std::string Get(odbc::Statement& st, int column, odbc::Diag& diag);
bool Exec(odbc::Connection& c, const std::string& sql, const std::vector<odbc::Value>& params,
          odbc::Diag& diag);
// The server a connection string names, for messages (never its password).
std::string ServerName(const std::string& connection);
// "The production database at ... cannot be reached: ...", the driver's
// reason as one sentence.
std::string Unreachable(const std::string& connection, const odbc::Diag& diag);
// The connection string with the password added (never shown).
std::string WithPassword(const std::string& connection, const std::string& password);
// A driver's message without its trailing blanks and full stop, to end a sentence with.
std::string Trimmed(std::string text);

}  // namespace sn::detail
