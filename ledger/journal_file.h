#pragma once
// JournalFile: the production journal's file, which several processes on one
// station share (a window and command lines). Readers hold a shared lock,
// writers an exclusive one; a writer reads what the others appended, decides
// and appends under the same lock, so a check and the row that follows from
// it are one step. Every append is one write call that reaches the disk
// before it returns. The OS side lives in journal_file_<os>.cpp.
//
// Threads: see docs/threads.md (the ledger): one thread at a time; the locks
// are the processes'.

#include <cstdint>
#include <memory>
#include <string>

namespace sn {

// Which file a path names right now: a journal replaced under its name (a
// spreadsheet saving a copy, a restore) is another file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

class JournalFile {
  public:
    enum class LockMode { Shared, Exclusive };

    JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;
    ~JournalFile();

    // Opens `path`; for appending it is created when missing. False, with
    // the OS's reason in `error`, when it cannot be opened.
    bool Open(const std::string& path, bool forAppend, std::string& error);
    bool IsOpen() const { return handle_ != nullptr; }
    // Waits for the lock on the whole file; held until Unlock or the close.
    bool Lock(LockMode mode, std::string& error);
    void Unlock();
    bool Stat(FileIdentity& identity, std::uint64_t& size, std::string& error);
    // Up to `n` bytes from `offset`: the count read (0 at the end), or -1.
    long long ReadAt(std::uint64_t offset, char* buffer, std::size_t n, std::string& error);
    // One write at the end of the file, flushed to the disk. A short write
    // (a full disk) is an error, never a second write another row could
    // come between.
    bool AppendFlushed(const std::string& bytes, std::string& error);

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    bool locked_ = false;
};

// The local time as 2026-12-07T14:02:11+01:00.
std::string LocalTimestamp();
// This station's host name.
std::string StationName();
// The name of the user logged in, or "" when the OS cannot tell.
std::string LoggedInUser();
// The folder for this program's files of the user's (the database ledger's
// spool): $XDG_DATA_HOME/sntool (~/.local/share/sntool) on Linux,
// %LOCALAPPDATA%\sntool on Windows.
std::string UserDataFolder();

}  // namespace sn
