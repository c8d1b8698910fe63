#pragma once
// LogFile: a file that several processes on one station append to (the
// window and the command line may share a production log). Each append
// happens under an exclusive lock, in a single write, and reaches the disk
// before Append returns; reading takes a shared lock, so it never sees half a
// row from this station. The OS side lives in log_file_<os>.cpp.

#include <functional>
#include <memory>
#include <string>

namespace sn {

class LogFile {
  public:
    LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    LogFile(LogFile&& other) noexcept;
    LogFile& operator=(LogFile&& other) noexcept;
    ~LogFile();

    // Opens `path`; for appending it is created when missing. False, with
    // the OS's reason in `error`, when it cannot be opened.
    bool Open(const std::string& path, bool forAppend, std::string& error);
    bool IsOpen() const { return handle_ != nullptr; }
    // The whole file.
    bool ReadAll(std::string& content, std::string& error);
    // Under the lock: `compose` gets the file as it is and returns the bytes
    // to add, which go out in one write and are flushed to the disk.
    bool Append(const std::function<std::string(const std::string& current)>& compose,
                std::string& error);

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

// The local time as 2026-12-07T14:02:11+01:00.
std::string LocalTimestamp();
// This station's host name.
std::string StationName();

}  // namespace sn
