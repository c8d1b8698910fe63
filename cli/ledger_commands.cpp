// sntool ledger: the numbers in doubt or broken off; with a database, its
// tables (init) and the settlements waiting in the spool (sync).

#include <cstdio>
#include <filesystem>

#include "cli/exit_codes.h"
#include "cli/session_internal.h"
#include "database/odbc_ledger.h"

namespace sn::cli {

// The ledger the options name; the database's password from its file.
bool Session::LedgerChoice(LedgerOptions& where, std::string& error) {
    return ChooseLedger(o_.logs, o_.db, o_.dbPasswordFile, o_.operatorName, where, error);
}

int Session::LedgerCommand() {
    if (o_.ledgerAction == "init") {
        return InitDatabase();
    }
    if (o_.ledgerAction == "sync") {
        return SyncSpool();
    }
    return ListLedger();
}

// Creates the ledger's tables where they are missing, and says what a
// station's role needs.
int Session::InitDatabase() {
    LedgerOptions where;
    std::string error;
    std::string grants;
    if (!LedgerChoice(where, error) ||
        !OdbcLedger::Init(where.db, where.dbPassword, o_.role, grants, error)) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    out_ << "The production ledger's tables are in place. A station's role needs:\n" << grants;
    return kExitDone;
}

int Session::SyncSpool() {
    LedgerOptions where;
    std::string error;
    if (!LedgerChoice(where, error)) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    const std::unique_ptr<Ledger> ledger = MakeLedger(where);
    int delivered = 0;
    if (!DeliverSpool(*ledger, delivered, error)) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    const int waiting = SpooledSettlements(*ledger);
    out_ << delivered << (delivered == 1 ? " settlement" : " settlements")
         << " delivered to the database; " << waiting << " waiting.\n";
    return waiting == 0 ? kExitDone : kExitLedger;
}

int Session::ListLedger() {
    // Listing makes no journal: a mistyped name is said to be missing.
    for (const std::string& path : o_.db.empty() ? o_.logs : std::vector<std::string>{}) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            err_ << "sntool: The production log " << path << " cannot be opened: "
                 << (std::filesystem::exists(path, ec) ? "it is not a file" : "it does not exist")
                 << ".\n";
            return kExitLedger;
        }
    }
    LedgerOptions where;
    std::string error;
    if (!LedgerChoice(where, error)) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    const std::unique_ptr<Ledger> made = MakeLedger(where);
    Ledger& ledger = *made;
    std::vector<std::string> notes;
    const bool ok = ledger.Open(notes, error);
    for (const std::string& note : notes) {
        err_ << "sntool: " << note << "\n";
    }
    if (!ok && !ledger.HasUnreadableLine()) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    const std::vector<LedgerEntry> entries = ledger.Unfinished();
    if (entries.empty()) {
        out_ << "No serial number is in doubt or broken off.\n";
    } else {
        char line[256];
        std::snprintf(line, sizeof line, "%-10s  %-25s  %-10s  %-16s  %s\n", "serial", "time",
                      "state", "station", "port, last outcome");
        out_ << line;
        for (const LedgerEntry& e : entries) {
            std::snprintf(line, sizeof line, "%-10s  %-25s  %-10s  %-16s  %s, %s\n",
                          e.serial.c_str(), e.row.time.c_str(), StateName(e.state),
                          e.row.station.c_str(), e.row.port.c_str(), e.row.outcome.c_str());
            out_ << line;
        }
        out_ << (entries.size() == 1
                     ? std::string("1 number to look into: find the pager that holds it and "
                                   "finish it with sntool resume.\n")
                     : std::to_string(entries.size()) +
                           " numbers to look into: find the pagers that hold them and finish "
                           "each with sntool resume.\n");
    }
    if (!ok) {
        err_ << "sntool: " << error << "\n";
        return kExitLedger;
    }
    return kExitDone;
}

}  // namespace sn::cli
