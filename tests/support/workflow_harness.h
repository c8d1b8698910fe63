#pragma once
// A CVexloView wired to the fakes: one cradle bridge (COM3) with a substitute
// pager seated, everything in virtual time.

#include "ports/list_serial_ports.h"
#include "tests/support/scripted_port_source.h"
#include "tests/support/workflow_fakes.h"
#include "workflow/texts.h"
#include "workflow/vexlo_view.h"

namespace sn::testing {

struct WorkflowHarness {
    WorkflowHarness() {
        form.Attach(&view);
        PlugCradle("COM3");
    }

    void PlugCradle(const std::string& portName) {
        ports.interfaces = {ScriptedInterface{
            "\\\\?\\usb#" + portName, "Silicon Labs CP210x USB to UART Bridge (" + portName + ")",
            "Silicon Labs CP210x USB to UART Bridge", "USB", 0}};
    }
    void UnplugCradle() { ports.interfaces.clear(); }
    void Tick() { view.OnTimer(0); }
    // Start-up and one tick with an unnumbered pager: the ready outcome.
    void StartReady() {
        view.OnInitialUpdate();
        Tick();
    }
    // The operator types, then leaves the field.
    void Enter(const std::string& serial) {
        form.Type(serial);
        view.OnSerialKillFocus();
    }
    void PressWrite() {
        view.OnWriteButton();
        view.WaitForTransaction();
    }
    // Start-up, a tick, the number typed and the Write button: once the
    // transaction has ended.
    void WriteWhenReady(const std::string& serial = "AB12CD34EF") {
        StartReady();
        Enter(serial);
        PressWrite();
    }
    // Everything the transaction sent, as command bytes ("send 02", ...).
    std::vector<std::string> Sent() const { return timeline.Only("send"); }

    Timeline timeline;
    sim::SubstitutePager pager;
    VirtualClock clock{timeline};
    LoopbackLink link{pager, timeline, clock};
    ScriptedPortSource ports;
    PortSelection selection;
    FakeForm form;
    CVexloView view{form, link, ports, clock, selection};
};

}  // namespace sn::testing
