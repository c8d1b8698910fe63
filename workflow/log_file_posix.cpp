// LogFile on POSIX: flock for the lock, O_APPEND and fsync for the append.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "workflow/log_file.h"

namespace sn {

namespace {

std::string Reason() {
    return std::strerror(errno);
}

// Holds a flock for its lifetime.
class FileLock {
  public:
    FileLock(int fd, int mode) : fd_(fd) {
        while ((ok_ = ::flock(fd_, mode) == 0) == false && errno == EINTR) {
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (ok_) {
            ::flock(fd_, LOCK_UN);
        }
    }
    bool Held() const { return ok_; }

  private:
    int fd_;
    bool ok_ = false;
};

bool ReadFrom(int fd, std::string& content, std::string& error) {
    content.clear();
    char buf[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = Reason();
            return false;
        }
        if (n == 0) {
            return true;
        }
        content.append(buf, static_cast<std::size_t>(n));
        offset += n;
    }
}

// One write call; a short write (a full disk) is an error, never a second
// write that another station's row could come between.
bool WriteOnce(int fd, const std::string& bytes, std::string& error) {
    ssize_t n = -1;
    do {
        n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        error = Reason();
        return false;
    }
    if (static_cast<std::size_t>(n) != bytes.size()) {
        error = "only " + std::to_string(n) + " of " + std::to_string(bytes.size()) +
                " bytes could be written (is the disk full?)";
        return false;
    }
    return true;
}

}  // namespace

struct LogFile::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

LogFile::LogFile() = default;
LogFile::LogFile(LogFile&& other) noexcept = default;
LogFile& LogFile::operator=(LogFile&& other) noexcept = default;
LogFile::~LogFile() = default;

bool LogFile::Open(const std::string& path, bool forAppend, std::string& error) {
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
    return true;
}

bool LogFile::ReadAll(std::string& content, std::string& error) {
    FileLock lock(handle_->fd, LOCK_SH);
    if (!lock.Held()) {
        error = Reason();
        return false;
    }
    return ReadFrom(handle_->fd, content, error);
}

bool LogFile::Append(const std::function<std::string(const std::string&)>& compose,
                     std::string& error) {
    FileLock lock(handle_->fd, LOCK_EX);
    if (!lock.Held()) {
        error = Reason();
        return false;
    }
    std::string current;
    if (!ReadFrom(handle_->fd, current, error)) {
        return false;
    }
    if (!WriteOnce(handle_->fd, compose(current), error)) {
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
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string s(buf);
    // +0100 -> +01:00
    if (s.size() >= 5) {
        s.insert(s.size() - 2, ":");
    }
    return s;
}

std::string StationName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) {
        return "unknown";
    }
    return buf;
}

}  // namespace sn
