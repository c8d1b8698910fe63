#pragma once
// SpoolFile: the local file of settlements the production database could not
// take, one line each, delivered when it can be reached again. Opening locks
// it for this process alone (the window and command lines may share it);
// every append reaches the disk before it returns, and a delivered spool is
// emptied under the same lock. The OS side lives in odbc_spool_<os>.cpp.
//
// Threads: see docs/threads.md (the ledger): one thread at a time.

#include <memory>
#include <string>

namespace sn {

class SpoolFile {
  public:
    SpoolFile();
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;
    ~SpoolFile();

    // Opens `path`, created when missing, and waits for its exclusive lock.
    bool Open(const std::string& path, std::string& error);
    bool ReadAll(std::string& text, std::string& error);
    bool Append(const std::string& bytes, std::string& error);
    bool Clear(std::string& error);

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

}  // namespace sn
