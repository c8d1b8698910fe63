#pragma once
// PagerConsole: the text commands with which a person (or a test) shapes the
// substitute pager behind pagersim. One command a line; each returns what to
// print. `help` lists them.

#include <string>

#include "sim/substitute_pager.h"

namespace sn::sim {

class PagerConsole {
  public:
    // `portPath` is the pty; `linkPath` (may be empty) the cradle's name that
    // plug/unplug create and remove.
    PagerConsole(SubstitutePager& pager, std::string portPath, std::string linkPath);

    // Runs one command line; sets `quit` for "quit".
    std::string Execute(const std::string& line, bool& quit);
    bool Plug();
    bool Unplug();

  private:
    std::string Fault(const std::string& args);
    std::string Traffic() const;
    std::string Memory(const std::string& args) const;

    SubstitutePager& pager_;
    std::string portPath_;
    std::string linkPath_;
};

// "probe", "status", "read", "read-finish", "write-start", "write",
// "write-finish", "closing", or a hex byte such as 0x22; -1 when unknown.
int ParseCommandName(const std::string& name);
const char* CommandName(std::uint8_t command);

}  // namespace sn::sim
