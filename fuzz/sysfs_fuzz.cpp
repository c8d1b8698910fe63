// The Linux port source on a sysfs tree made from the input: any names,
// links (dangling, looping, pointing anywhere inside the tree) and odd files
// under a temporary root. The scan must end without an error, list each port
// once, named and opened as /dev/<its class name>, and list every port whose
// driver link names cp210x, whatever its name.
//
// Input: text, one entry a line (at most 64):
//   d PATH          a folder
//   f PATH TEXT     a file holding TEXT (may be empty; "\n" in TEXT is kept)
//   l PATH TARGET   a link; TARGET relative to the link's folder, or /PATH
//                   from the tree's root
// PATH is relative to the root; "." and ".." in it are dropped, and a link
// whose target would leave the tree is not made.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "ports/list_serial_ports.h"
#include "ports/sysfs_port_source.h"

namespace {

namespace fs = std::filesystem;

using sn::fuzz::Require;

// A path below the root: no empty, "." or ".." components.
fs::path Inside(const std::string& text) {
    fs::path out;
    std::istringstream in(text);
    std::string part;
    int depth = 0;
    while (std::getline(in, part, '/') && depth < 10) {
        if (!part.empty() && part != "." && part != "..") {
            out /= part.substr(0, 60);
            ++depth;
        }
    }
    return out;
}

bool Within(const fs::path& root, const fs::path& p) {
    const fs::path n = p.lexically_normal();
    const auto [r, _] = std::mismatch(root.begin(), root.end(), n.begin(), n.end());
    return r == root.end();
}

void MakeEntry(const fs::path& root, const std::string& line) {
    if (line.size() < 3 || line[1] != ' ') {
        return;
    }
    const std::string rest = line.substr(2);
    const std::size_t blank = rest.find(' ');
    const fs::path rel = Inside(rest.substr(0, blank));
    const std::string arg = blank == std::string::npos ? "" : rest.substr(blank + 1);
    if (rel.empty()) {
        return;
    }
    const fs::path at = root / rel;
    std::error_code ec;
    fs::create_directories(at.parent_path(), ec);
    if (line[0] == 'd') {
        fs::create_directories(at, ec);
    } else if (line[0] == 'f') {
        std::string text = arg;
        for (std::size_t i; (i = text.find("\\n")) != std::string::npos;) {
            text.replace(i, 2, "\n");
        }
        std::ofstream(at, std::ios::binary) << text.substr(0, 300);
    } else if (line[0] == 'l' && !arg.empty()) {
        const fs::path target = arg[0] == '/' ? root / Inside(arg) : fs::path(arg);
        if (Within(root, target.is_absolute() ? target : at.parent_path() / target)) {
            fs::create_symlink(target, at, ec);
        }
    }
}

std::set<std::string> ClassNames(const fs::path& root) {
    std::set<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(root / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        names.insert(it->path().filename().string());
    }
    return names;
}

// The driver link's last component, read the way a person would check it.
bool BoundToCp210x(const fs::path& root, const std::string& name) {
    std::error_code ec;
    const fs::path dev = fs::canonical(root / "class" / "tty" / name / "device", ec);
    return !ec && fs::read_symlink(dev / "driver", ec).filename() == "cp210x" && !ec;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const sn::fuzz::ScratchDir scratch("sysfs-fuzz");
    const fs::path root = scratch.Path() / "sys";
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root, ec);

    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string line;
    for (int n = 0; n < 64 && std::getline(in, line); ++n) {
        MakeEntry(root, line);
    }

    sn::SysfsPortSource source(root.string());
    sn::PortSelection selection;
    selection.cradleMissing = 1;
    sn::PortList ports;
    sn::ListSerialPorts(ports, 0, source, selection);  // sysfs refuses nothing: no error
    const std::set<std::string> names = ClassNames(root);
    std::set<std::string> listed;
    for (const sn::SSerInfo& p : ports) {
        Require(p.devicePath.rfind("/dev/", 0) == 0 && p.portName == p.devicePath);
        const std::string name = p.devicePath.substr(5);
        Require(names.count(name) == 1);
        Require(listed.insert(name).second);
    }
    for (const std::string& name : names) {
        if (BoundToCp210x(root, name) && !fs::exists(root / "class" / "tty" / name / "type", ec)) {
            Require(listed.count(name) == 1);
        }
    }
    Require((selection.cradleMissing == 0) == !ports.empty());
    // The same tree, the same list.
    sn::PortList again;
    sn::ListSerialPorts(again, 0, source, selection);
    Require(again.size() == ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        Require(again[i].devicePath == ports[i].devicePath &&
                again[i].friendlyName == ports[i].friendlyName);
    }
    return 0;
}
