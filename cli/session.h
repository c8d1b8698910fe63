#pragma once
// One run of sntool: sets up the cradle (system ports, a named port, or the
// virtual cradle), calls the cradle's engine the window's view calls, prints
// what it says, and turns its outcomes into an exit code.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/serial.h"

namespace sn::cli {

struct Options {
    std::string command;            // ports, status, read, write, batch, resume, ledger, report
    std::optional<Serial> serial;   // write; batch: the first number
    bool verify = false;            // write, batch, resume --verify
    int count = 1;                  // batch --count
    std::vector<std::string> logs;  // --log: the ledger's journals, rows to the first
    std::string db;                 // --db: an ODBC connection string; the ledger
    std::string dbPasswordFile;     // --db-password-file
    std::optional<std::string> operatorName;  // --operator
    std::string ledgerAction;                 // ledger [list|init|sync]
    std::string role = "sntool_station";      // ledger init --role
    bool allowDuplicate = false;
    std::string port;  // --port
    bool simulate = false;
    std::string simModel;
    bool simNumbered = false;
    double timeoutSeconds = 30.0;
    std::optional<std::string> trace;  // "" for stderr
    // report: the window (TIME texts as given), the grouping, the output.
    std::optional<std::string> since;
    std::optional<std::string> until;
    std::string reportBy = "station";   // station, operator, day, hour, shift
    std::optional<std::string> shifts;  // "06:00,14:00,22:00"
    std::string reportFormat = "text";  // text, csv, html
    std::string reportOut;              // "" for stdout
};

int RunSession(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace sn::cli
