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
before the timeout; 5 pager already numbered; 6 model refused; 7 read error;
8 write error; 9 verify mismatch; 10 the production log has SERIAL as
written already (nothing sent); 130 batch ended by Ctrl+C; 1 anything else
(also a production log that cannot be opened or written).

With --log, write and batch append a row for every pager to FILE (CSV),
and refuse a serial number that any --log FILE records as written.
A batch waits for each pager, numbers it, waits for its removal, and ends
with a summary; --timeout applies to each of these waits.

Examples:
  sntool ports
  sntool --simulate write AB12CD34EF --verify
  sntool --port /dev/ttyUSB0 --timeout 60 status
  sntool --log pagers.csv --timeout 600 batch AB12CD0001 --count 50 --verify
)";

}  // namespace

int main(int argc, char** argv) {
    using namespace sn::cli;
    Options o;
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
                   "Production log (CSV): a row for every pager goes to the first FILE; "
                   "a serial number any FILE records as written is refused. Repeatable")
        ->type_name("FILE")
        ->allow_extra_args(false);
    app.add_flag("--allow-duplicate", o.allowDuplicate,
                 "Write a serial number the log records as written (the row says so)");

    app.add_subcommand("ports", "List the serial ports found and which are cradle bridges")
        ->fallthrough();
    app.add_subcommand("status",
                       "Wait for the cradle and a seated pager; report whether it is "
                       "ready or already numbered")
        ->fallthrough();
    app.add_subcommand("read", "Read the pager's information area and its mirror")->fallthrough();
    auto* write = app.add_subcommand("write", "Give the seated pager SERIAL (10 characters)");
    write->fallthrough();
    write->add_option("SERIAL", o.serial, "The serial number: 10 letters, digits or '*'")
        ->required();
    write->add_flag("--verify", o.verify,
                    "Read blocks 4, 5, 240 and 241 back afterwards and compare");
    auto* batch = app.add_subcommand(
        "batch", "Number pager after pager: FIRST, then FIRST with its last digits counted up");
    batch->fallthrough();
    batch->add_option("FIRST", o.serial, "The first serial number: 10 letters, digits or '*'")
        ->required();
    batch->add_option("--count", o.count, "How many pagers to number")
        ->required()
        ->check(CLI::Range(1, 1000000))
        ->type_name("N");
    batch->add_flag("--verify", o.verify, "Read each pager back after its write and compare");

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
        if (const std::string why = CheckSerial(o.serial); !why.empty()) {
            std::cerr << "sntool: " << why << "\n";
            return kExitUsage;
        }
    }
    return RunSession(o, std::cout, std::cerr);
}
