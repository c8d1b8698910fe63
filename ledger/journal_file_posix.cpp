// JournalFile on POSIX: flock for the locks, O_APPEND and fsync for the append.

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "ledger/journal_file.h"
#include "ledger/journal_file_internal.h"

namespace sn {

namespace {

std::string Reason() {
    return std::strerror(errno);
}

}  // namespace

struct JournalFile::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) {
            ::close(fd);
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
    const int flags =
        forAppend ? (O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        error = Reason();
        return false;
    }
    handle_ = std::make_unique<Handle>();
    handle_->fd = fd;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        error = std::strerror(EISDIR);
        handle_.reset();
        return false;
    }
    return true;
}

bool JournalFile::Lock(LockMode mode, std::string& error) {
    const int op = mode == LockMode::Exclusive ? LOCK_EX : LOCK_SH;
    int rc = -1;
    do {
        rc = ::flock(handle_->fd, op);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        error = Reason();
        return false;
    }
    locked_ = true;
    return true;
}

void JournalFile::Unlock() {
    if (locked_ && handle_) {
        ::flock(handle_->fd, LOCK_UN);
    }
    locked_ = false;
}

bool JournalFile::Stat(FileIdentity& identity, std::uint64_t& size, std::string& error) {
    struct stat st {};
    if (::fstat(handle_->fd, &st) != 0) {
        error = Reason();
        return false;
    }
    identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

long long JournalFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t n,
                              std::string& error) {
    ssize_t got = -1;
    do {
        got = ::pread(handle_->fd, buffer, n, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        error = Reason();
    }
    return got;
}

bool JournalFile::AppendFlushed(const std::string& bytes, std::string& error) {
    ssize_t n = -1;
    do {
        n = ::write(handle_->fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        error = Reason();
        return false;
    }
    if (static_cast<std::size_t>(n) != bytes.size()) {
        error = detail::ShortWriteReason(static_cast<std::size_t>(n), bytes.size());
        return false;
    }
    if (::fsync(handle_->fd) != 0) {
        error = Reason();
        return false;
    }
    return true;
}

std::string LocalTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[24];
    char zone[8];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);  // +0100
    char out[40];
    std::snprintf(out, sizeof out, "%s%.3s:%.2s", date, zone, zone + 3);
    return out;
}

std::string UserDataFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data != '\0') {
        return std::string(data) + "/sntool";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/sntool";
}

std::string LoggedInUser() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        return pw->pw_name;
    }
    return "";
}

std::string StationName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) {
        return "unknown";
    }
    return buf;
}

}  // namespace sn
