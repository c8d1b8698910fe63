// LogFile on Windows: LockFileEx for the lock, one WriteFile at the end of
// the file and FlushFileBuffers for the append.

#include <windows.h>

#include <cstdio>
#include <ctime>

#include "workflow/log_file.h"

namespace sn {

namespace {

std::string Reason(DWORD code = GetLastError()) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = n > 0 && text != nullptr ? std::string(text, n) : std::string();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

// Holds a lock on the whole file for its lifetime.
class FileLock {
  public:
    FileLock(HANDLE h, DWORD flags) : h_(h) {
        OVERLAPPED at{};
        ok_ = LockFileEx(h_, flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (ok_) {
            OVERLAPPED at{};
            UnlockFileEx(h_, 0, MAXDWORD, MAXDWORD, &at);
        }
    }
    bool Held() const { return ok_; }

  private:
    HANDLE h_;
    bool ok_ = false;
};

bool ReadFrom(HANDLE h, std::string& content, std::string& error) {
    content.clear();
    char buf[65536];
    unsigned long long offset = 0;
    for (;;) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        if (!ReadFile(h, buf, sizeof buf, &n, &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF) {
                return true;
            }
            error = Reason(code);
            return false;
        }
        if (n == 0) {
            return true;
        }
        content.append(buf, n);
        offset += n;
    }
}

// One write at the end of the file; a short write (a full disk) is an error.
bool WriteOnce(HANDLE h, const std::string& bytes, std::string& error) {
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFFu;  // at the end of the file
    at.OffsetHigh = 0xFFFFFFFFu;
    DWORD n = 0;
    if (!WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &at)) {
        error = Reason();
        return false;
    }
    if (n != bytes.size()) {
        error = "only " + std::to_string(n) + " of " + std::to_string(bytes.size()) +
                " bytes could be written (is the disk full?)";
        return false;
    }
    return true;
}

}  // namespace

struct LogFile::Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
};

LogFile::LogFile() = default;
LogFile::LogFile(LogFile&& other) noexcept = default;
LogFile& LogFile::operator=(LogFile&& other) noexcept = default;
LogFile::~LogFile() = default;

bool LogFile::Open(const std::string& path, bool forAppend, std::string& error) {
    handle_.reset();
    const DWORD access = forAppend ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
    const HANDLE h =
        CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    forAppend ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = Reason();
        return false;
    }
    handle_ = std::make_unique<Handle>();
    handle_->h = h;
    return true;
}

bool LogFile::ReadAll(std::string& content, std::string& error) {
    FileLock lock(handle_->h, 0);
    if (!lock.Held()) {
        error = Reason();
        return false;
    }
    return ReadFrom(handle_->h, content, error);
}

bool LogFile::Append(const std::function<std::string(const std::string&)>& compose,
                     std::string& error) {
    FileLock lock(handle_->h, LOCKFILE_EXCLUSIVE_LOCK);
    if (!lock.Held()) {
        error = Reason();
        return false;
    }
    std::string current;
    if (!ReadFrom(handle_->h, current, error) || !WriteOnce(handle_->h, compose(current), error)) {
        return false;
    }
    if (!FlushFileBuffers(handle_->h)) {
        error = Reason();
        return false;
    }
    return true;
}

// msvcrt's strftime has no numeric %z: the offset is worked out here.
std::string LocalTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    std::tm asUtc = local;
    const long offset = static_cast<long>(_mkgmtime(&asUtc) - now);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return std::string(buf) + zone;
}

std::string StationName() {
    char buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = sizeof buf;
    if (!GetComputerNameA(buf, &n)) {
        return "unknown";
    }
    return std::string(buf, n);
}

}  // namespace sn
