// sntool-gui.exe: the Serial Number Tool's window on Windows.

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/win/win_app.h"
#include "protocol/serial.h"

namespace {

constexpr const char* kUsage =
    "sntool-gui [--port COMn | --simulate] [--log FILE]... [--db CONNECTION] "
    "[--db-password-file FILE] [--operator NAME] [--next-from SERIAL] [--enter-writes]\r\n\r\n"
    "--port COMn\tThe cradle is this COM port.\r\n"
    "--simulate\tUse the built-in substitute pager.\r\n"
    "--log FILE\tProduction log (CSV), the ledger: a number's rows go to the first FILE; "
    "a number any FILE has as used is refused.\r\n"
    "--db CONNECTION\tThe ledger is this database (ODBC connection string or DSN=NAME), "
    "shared by the stations of a line; --log keeps a record only.\r\n"
    "--db-password-file FILE\tThe database password: the first line of FILE.\r\n"
    "--operator NAME\tThe operator recorded in every row (default: the user logged in).\r\n"
    "--next-from SERIAL\tOffer SERIAL, and after each write the next free number.\r\n"
    "--enter-writes\tEnter in a field of ten characters writes (for a barcode scanner).";

bool ParseArguments(int argc, char** argv, sn::win::AppOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--enter-writes") {
            options.production.enterWrites = true;
        } else if ((arg == "--port" || arg == "--report-status") && i + 1 < argc) {
            (arg == "--port" ? options.port : options.report) = argv[++i];
        } else if (arg == "--log" && i + 1 < argc) {
            options.production.logs.push_back(argv[++i]);
        } else if (arg == "--db" && i + 1 < argc) {
            options.production.db = argv[++i];
        } else if (arg == "--db-password-file" && i + 1 < argc) {
            options.production.dbPasswordFile = argv[++i];
        } else if (arg == "--operator" && i + 1 < argc) {
            options.production.operatorName = argv[++i];
        } else if (arg == "--next-from" && i + 1 < argc) {
            options.production.nextFrom = sn::Serial::Parse(argv[++i]);
            if (!options.production.nextFrom) {
                return false;
            }
        } else {
            return false;
        }
    }
    return !(options.simulate && !options.port.empty());
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    sn::win::AppOptions options;
    if (!ParseArguments(__argc, __argv, options)) {
        MessageBoxA(nullptr, kUsage, "Serial Number Tool", MB_OK | MB_ICONINFORMATION);
        return 2;
    }
    sn::win::CVexloApp app(instance, std::move(options));
    if (!app.InitInstance(show)) {
        MessageBoxA(nullptr, "The window could not be created.", "Serial Number Tool",
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    return app.Run();
}
