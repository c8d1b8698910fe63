// sntool: the Serial Number Tool on the command line.

#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/exit_codes.h"
#include "cli/session.h"
#include "version.h"

namespace {

constexpr const char* kFooter = R"(
Options may stand before or after the command.

Status texts are printed on stdout as they change, message boxes on stderr.
Exit codes: 0 done; 2 bad usage or bad SERIAL; 3 no cradle; 4 no pager
before the timeout; 5 pager already numbered (resume: not one whose write
broke off); 6 model refused; 7 read error; 8 write error; 9 verify mismatch;
10 the ledger has SERIAL as used or in doubt (nothing sent); 11 the ledger
cannot record or cannot be read (nothing sent); 130 ended by Ctrl+C while
waiting; 1 anything else.

Every number goes through the ledger: reserved before the first frame of
its write, settled with the pager's outcome after it. A number is used from
its first block-write frame on, and given again only when no block write
went out. With --log FILE the ledger is that CSV journal (rows go to the
first FILE, every FILE guards); with --db CONNECTION it is a database the
stations of a line share (a settlement the database cannot take waits in a
spool in the user's data folder until `sntool ledger sync` or the next
contact); without either, it lasts for the run.
A batch waits for each pager, gives it the next free number, and ends with
its last pager and a summary; --timeout applies to each wait. Ctrl+C ends a
wait at once; a write under way finishes and records its row first.

Examples:
  sntool ports
  sntool --simulate write AB12CD34EF --verify
  sntool --port /dev/ttyUSB0 --timeout 60 status
  sntool --log pagers.csv --timeout 600 batch AB12CD0001 --count 50 --verify
  sntool --log pagers.csv ledger
  sntool --log pagers.csv resume --verify
  sntool --log a.csv --log b.csv report --since 2026-12-07 --by shift --format html --out r.html
  sntool --db "DSN=pagers" --operator ann batch AB12CD0001 --count 50
  sntool --db "Driver={PostgreSQL Unicode};Server=db1;Database=pagers;Uid=admin;" ledger init
)";

}  // namespace

int main(int argc, char** argv) {
    using namespace sn::cli;
    Options o;
    std::string serial;
    CLI::App app{"Gives a Corvel voice pager its serial number through the programming cradle.",
                 "sntool"};
    app.set_version_flag("--version", "sntool " SNTOOL_VERSION);
    app.footer(kFooter);
    app.require_subcommand(1);
    auto* port = app.add_option("--port", o.port,
                                "The cradle is this tty, present while PATH exists "
                                "(default: the first cradle bridge found)")
                     ->type_name("PATH");
    auto* simulate = app.add_flag("--simulate", o.simulate,
                                  "Use the built-in virtual cradle with a substitute pager");
    port->excludes(simulate);
    app.add_option("--timeout", o.timeoutSeconds,
                   "How long to wait for the cradle and a pager, in seconds (default 30)")
        ->check(CLI::Range(0.0, 86400.0))
        ->type_name("SECONDS");
    auto* trace = app.add_option("--trace",
                                 "Every frame sent and every receive burst, "
                                 "time-stamped, in hex, to stderr or FILE")
                      ->expected(0, 1)
                      ->type_name("FILE");
    app.add_option("--sim-model", o.simModel, "Virtual cradle: the pager's model code")
        ->type_name("CODE");
    app.add_flag("--sim-numbered", o.simNumbered,
                 "Virtual cradle: the pager already has a serial number");
    app.add_option("--log", o.logs,
                   "Production log (CSV), the ledger: a number's rows go to the first FILE; "
                   "a number any FILE has as used or in doubt is refused. Repeatable")
        ->type_name("FILE")
        ->allow_extra_args(false);
    app.add_option("--db", o.db,
                   "The production ledger is this database (an ODBC connection string or "
                   "DSN=NAME), shared by the stations of a line; --log then keeps a record only")
        ->type_name("CONNECTION");
    app.add_option("--db-password-file", o.dbPasswordFile,
                   "The database password: the first line of FILE (never on the command line)")
        ->type_name("FILE");
    app.add_option("--operator", o.operatorName,
                   "The operator recorded in every row (default: the user logged in)")
        ->type_name("NAME");
    app.add_flag("--allow-duplicate", o.allowDuplicate,
                 "Write a serial number the ledger has as used (its rows say so)");

    app.add_subcommand("ports", "List the serial ports found and which are cradle bridges")
        ->fallthrough();
    app.add_subcommand("status",
                       "Wait for the cradle and a seated pager; report whether it is "
                       "ready or already numbered")
        ->fallthrough();
    app.add_subcommand("read", "Read the pager's information area and its mirror")->fallthrough();
    auto* write = app.add_subcommand("write", "Give the seated pager SERIAL (10 characters)");
    write->fallthrough();
    write->add_option("SERIAL", serial, "The serial number: 10 letters, digits or '*'")->required();
    write->add_flag("--verify", o.verify,
                    "Read blocks 4, 5, 240 and 241 back afterwards and compare");
    auto* batch = app.add_subcommand(
        "batch", "Number pager after pager: FIRST, then FIRST with its last digits counted up");
    batch->fallthrough();
    batch->add_option("FIRST", serial, "The first serial number: 10 letters, digits or '*'")
        ->required();
    batch->add_option("--count", o.count, "How many pagers to number")
        ->required()
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
    batch->add_flag("--verify", o.verify, "Read each pager back after its write and compare");
    auto* resume = app.add_subcommand(
        "resume",
        "Finish the seated pager whose write broke off: write its number again (needs --log)");
    resume->fallthrough();
    resume->add_flag("--verify", o.verify, "Read the pager back afterwards and compare");
    auto* ledger = app.add_subcommand(
        "ledger",
        "List the numbers in doubt or broken off, to find their pagers (needs --log or --db); "
        "init: create the database's tables; sync: deliver the spooled settlements");
    ledger->fallthrough();
    ledger->add_option("ACTION", o.ledgerAction, "list (the default), init or sync")
        ->check(CLI::IsMember({"list", "init", "sync"}));
    ledger
        ->add_option("--role", o.role,
                     "ledger init: the station role the printed GRANT statements name")
        ->type_name("NAME");
    auto* report = app.add_subcommand(
        "report",
        "Count the pagers the journals record (--log, repeatable): tried, numbered, failed, "
        "refused, in doubt and the yields, by station, operator, day, hour or shift");
    report->fallthrough();
    report
        ->add_option("--since", o.since,
                     "Pagers first tried at or after TIME: 2026-12-07, 2026-12-07T14:00, "
                     "local time unless an offset (+01:00, Z) follows")
        ->type_name("TIME");
    report->add_option("--until", o.until, "Pagers first tried before TIME")->type_name("TIME");
    report->add_option("--by", o.reportBy, "Group by station (default), operator, day, hour, shift")
        ->check(CLI::IsMember({"station", "operator", "day", "hour", "shift"}))
        ->type_name("GROUP");
    report
        ->add_option("--shifts", o.shifts,
                     "--by shift: the shifts' local start times (default 06:00,14:00,22:00)")
        ->type_name("HH:MM,...");
    report->add_option("--format", o.reportFormat, "text (default), csv or html")
        ->check(CLI::IsMember({"text", "csv", "html"}))
        ->type_name("FORMAT");
    report->add_option("--out", o.reportOut, "Write the report to FILE (default: stdout)")
        ->type_name("FILE");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitDone : kExitUsage;
    }
    o.command = app.get_subcommands().front()->get_name();
    if (trace->count() > 0) {
        o.trace = trace->results().empty() ? std::string() : trace->results().front();
    }
    if (o.command == "write" || o.command == "batch") {
        o.serial = sn::Serial::Parse(serial);
        if (!o.serial) {
            std::cerr << "sntool: SERIAL " << sn::Serial::Problem(serial) << "\n";
            return kExitUsage;
        }
    }
    return RunSession(o, std::cout, std::cerr);
}
