// pagersim: the substitute pager on a pseudo-terminal, for trying sntool and
// the window by hand against every state of cradle and pager, and for tests.

#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "protocol/pager_memory.h"
#include "sim/delivery.h"
#include "sim/pager_console.h"
#include "sim/pager_swapper.h"
#include "sim/pty_pager.h"
#include "version.h"

int main(int argc, char** argv) {
    std::string link;
    std::string model(sn::sim::SubstitutePager::kDefaultModel);
    bool numbered = false;
    bool serialBitOnFinish = false;
    bool unseated = false;
    bool unplugged = false;
    bool lineRate = false;
    std::string delivery = "pieces";
    int swapAfterMs = -1;
    CLI::App app{"Runs the substitute pager on a pseudo-terminal. Type 'help' for its commands.",
                 "pagersim"};
    app.set_version_flag("--version", "pagersim " SNTOOL_VERSION);
    app.add_option("--link", link, "Keep a symlink to the port here (plug/unplug act on it)")
        ->type_name("PATH");
    app.add_option("--model", model, "The pager's model code")->type_name("CODE");
    app.add_flag("--numbered", numbered, "The pager already has a serial number");
    app.add_flag("--serial-bit-on-finish", serialBitOnFinish,
                 "The status reply's serial-number bit is set by write-finish, not by the "
                 "mark byte alone");
    app.add_flag("--removed", unseated, "Start with no pager in the cradle");
    app.add_flag("--unplugged", unplugged, "Start with the cradle unplugged (no link)");
    app.add_flag("--line-rate", lineRate, "Emulate the wire at 57,600 bps");
    app.add_option("--delivery", delivery,
                   "How replies reach the port: 'whole', or 'pieces[:N[:US]]', N bytes every "
                   "US microseconds as a CP210x bridge hands them over (default pieces:6:1040)")
        ->type_name("MODE")
        ->check([](const std::string& v) {
            return sn::sim::ParseDelivery(v) ? std::string() : "expected whole or pieces[:N[:US]]";
        });
    app.add_option("--swap-after", swapAfterMs,
                   "A pager given its number is taken out MS later (its number printed as "
                   "'taken out: SERIAL') and a fresh one seated")
        ->check(CLI::Range(0, 600000))
        ->type_name("MS");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    std::signal(SIGPIPE, SIG_IGN);

    sn::sim::SubstitutePager pager;
    pager.SetModelCode(model);
    pager.SetSerialBit(serialBitOnFinish ? sn::sim::SerialBit::OnWriteFinish
                                         : sn::sim::SerialBit::FromMarkByte);
    pager.SetNumbered(numbered);
    pager.SetSeated(!unseated);
    sn::sim::PtyPagerOptions options;
    options.lineRate = lineRate;
    options.delivery = *sn::sim::ParseDelivery(delivery);
    sn::sim::PtyPager runner(pager, options);
    if (!runner.Start()) {
        std::cerr << "pagersim: no pseudo-terminal: " << runner.LastError() << "\n";
        return 1;
    }
    sn::sim::PagerConsole console(pager, runner.PortPath(), link);
    std::cout << "port: " << runner.PortPath() << std::endl;
    if (!link.empty()) {
        if (!unplugged && !console.Plug()) {
            std::cerr << "pagersim: cannot create the link " << link << "\n";
            return 1;
        }
        std::cout << "link: " << link << (unplugged ? " (unplugged)" : "") << std::endl;
    }
    std::mutex out;  // the swapper's lines and the console's answers
    std::unique_ptr<sn::sim::PagerSwapper> swapper;
    if (swapAfterMs >= 0) {
        swapper = std::make_unique<sn::sim::PagerSwapper>(
            pager, std::chrono::milliseconds(swapAfterMs), [&out](const auto& taken) {
                const auto bytes = taken.ReadMemory(sn::kSerialAddress, sn::kSerialLength);
                std::lock_guard lock(out);
                std::cout << "taken out: " << std::string(bytes.begin(), bytes.end()) << std::endl;
            });
    }
    std::string line;
    bool quit = false;
    while (!quit && std::getline(std::cin, line)) {
        const std::string answer = console.Execute(line, quit);
        std::lock_guard lock(out);
        std::cout << answer << std::flush;
    }
    swapper.reset();
    console.Unplug();
    return 0;
}
