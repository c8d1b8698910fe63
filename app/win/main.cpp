// sntool-gui.exe: the Serial Number Tool's window on Windows.

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/win/win_app.h"

namespace {

constexpr const char* kUsage =
    "sntool-gui [--port COMn | --simulate]\r\n\r\n"
    "--port COMn\tThe cradle is this COM port.\r\n"
    "--simulate\tUse the built-in substitute pager.";

bool ParseArguments(int argc, char** argv, sn::win::AppOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--simulate") {
            options.simulate = true;
        } else if ((arg == "--port" || arg == "--report-status") && i + 1 < argc) {
            (arg == "--port" ? options.port : options.report) = argv[++i];
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
