#pragma once
// The port named on the command line (--port PATH), presented as one cradle
// bridge named and opened by PATH: present while PATH exists (a dangling
// symlink counts as absent), so a cradle is plugged and unplugged by creating
// and removing a link. This is how a pseudo-terminal, the virtual cradle or a
// cradle that the OS names differently is used.

#include <string>

#include "ports/listed_port_source.h"

namespace sn {

class ExplicitPortSource final : public ListedPortSource {
  public:
    explicit ExplicitPortSource(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }
    std::vector<PortRecord> Scan() override;

  private:
    std::string path_;
};

}  // namespace sn
