// JournalFile on Windows: LockFileEx for the locks, one WriteFile at the end
// of the file and FlushFileBuffers for the append.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "ledger/journal_file.h"
#include "ledger/journal_file_internal.h"

namespace sn {

namespace {

std::string Reason(DWORD code = GetLastError()) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = n > 0 && text != nullptr ? std::string(text, n) : std::string();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

}  // namespace

struct JournalFile::Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
};

JournalFile::JournalFile() = default;
JournalFile::~JournalFile() {
    Unlock();
}

bool JournalFile::Open(const std::string& path, bool forAppend, std::string& error) {
    Unlock();
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

bool JournalFile::Lock(LockMode mode, std::string& error) {
    OVERLAPPED at{};
    const DWORD flags = mode == LockMode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (!LockFileEx(handle_->h, flags, 0, MAXDWORD, MAXDWORD, &at)) {
        error = Reason();
        return false;
    }
    locked_ = true;
    return true;
}

void JournalFile::Unlock() {
    if (locked_ && handle_) {
        OVERLAPPED at{};
        UnlockFileEx(handle_->h, 0, MAXDWORD, MAXDWORD, &at);
    }
    locked_ = false;
}

bool JournalFile::Stat(FileIdentity& identity, std::uint64_t& size, std::string& error) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle_->h, &info)) {
        error = Reason();
        return false;
    }
    identity = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

long long JournalFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t n,
                              std::string& error) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(handle_->h, buffer, static_cast<DWORD>(n), &got, &at)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF) {
            return 0;
        }
        error = Reason(code);
        return -1;
    }
    return got;
}

bool JournalFile::AppendFlushed(const std::string& bytes, std::string& error) {
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFFu;  // at the end of the file
    at.OffsetHigh = 0xFFFFFFFFu;
    DWORD n = 0;
    if (!WriteFile(handle_->h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &at)) {
        error = Reason();
        return false;
    }
    if (n != bytes.size()) {
        error = detail::ShortWriteReason(n, bytes.size());
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

std::string UserDataFolder() {
    const char* data = std::getenv("LOCALAPPDATA");
    return std::string(data != nullptr && *data != '\0' ? data : ".") + "\\sntool";
}

std::string LoggedInUser() {
    char buf[257] = {};  // UNLEN + 1
    DWORD n = sizeof buf;
    if (!GetUserNameA(buf, &n) || n == 0) {
        return "";
    }
    return std::string(buf, n - 1);  // n counts the terminator
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
