// SpoolFile on POSIX: flock for the lock, fsync after every change.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "database/odbc_spool.h"

namespace sn {

struct SpoolFile::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) {
            ::close(fd);  // the lock goes with it
        }
    }
};

namespace {
bool Fail(const std::string& what, std::string& error) {
    error = what + ": " + std::strerror(errno);
    return false;
}
}  // namespace

SpoolFile::SpoolFile() = default;
SpoolFile::~SpoolFile() = default;

bool SpoolFile::Open(const std::string& path, std::string& error) {
    auto handle = std::make_unique<Handle>();
    handle->fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (handle->fd < 0) {
        return Fail("the spool " + path + " cannot be opened", error);
    }
    int rc = 0;
    do {
        rc = ::flock(handle->fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        return Fail("the spool " + path + " cannot be locked", error);
    }
    handle_ = std::move(handle);
    return true;
}

bool SpoolFile::ReadAll(std::string& text, std::string& error) {
    text.clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(handle_->fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Fail("the spool cannot be read", error);
        }
        if (got == 0) {
            return true;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
}

bool SpoolFile::Append(const std::string& bytes, std::string& error) {
    if (::lseek(handle_->fd, 0, SEEK_END) < 0) {
        return Fail("the spool cannot be written", error);
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(handle_->fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            return Fail("the spool cannot be written", error);
        }
        done += static_cast<std::size_t>(put);
    }
    return ::fsync(handle_->fd) == 0 || Fail("the spool cannot be flushed", error);
}

bool SpoolFile::Clear(std::string& error) {
    if (::ftruncate(handle_->fd, 0) != 0) {
        return Fail("the spool cannot be emptied", error);
    }
    return ::fsync(handle_->fd) == 0 || Fail("the spool cannot be flushed", error);
}

}  // namespace sn
