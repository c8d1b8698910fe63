// sntool-gui.exe: the Serial Number Tool's window on Windows.

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/win/win_app.h"

namespace {

constexpr const char* kUsage =
    "sntool-gui [--port COMn | --simulate] [--log FILE]... [--next-from SERIAL] "
    "[--enter-writes]\r\n\r\n"
    "--port COMn\tThe cradle is this COM port.\r\n"
    "--simulate\tUse the built-in substitute pager.\r\n"
    "--log FILE\tProduction log (CSV), the ledger: a number's rows go to the first FILE; "
    "a number any FILE has as used is refused.\r\n"
    "--next-from SERIAL\tOffer SERIAL, and after each write the next free number.\r\n"
    "--enter-writes\tEnter in a field of ten characters writes (for a barcode scanner).";

bool ParseArguments(int argc, char** argv, sn::win::AppOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg == "--enter-writes") {
            options.enterWrites = true;
        } else if ((arg == "--port" || arg == "--report-status") && i + 1 < argc) {
            (arg == "--port" ? options.port : options.report) = argv[++i];
        } else if (arg == "--log" && i + 1 < argc) {
            options.logs.push_back(argv[++i]);
        } else if (arg == "--next-from" && i + 1 < argc) {
            options.nextFrom = sn::CanonicalSerial(argv[++i]);
            if (!options.nextFrom) {
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
