// SerialPort on POSIX terminals (termios), for real serial ports and ptys.

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/serial_port.h"

namespace sn {

namespace {

bool SpeedFor(std::uint32_t baud, speed_t& out) {
    struct Rate {
        std::uint32_t baud;
        speed_t code;
    };
    static constexpr Rate kRates[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const Rate& r : kRates) {
        if (r.baud == baud) {
            out = r.code;
            return true;
        }
    }
    return false;
}

tcflag_t DataBitsFlag(std::uint8_t bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

class PosixSerialPort final : public SerialPort {
  public:
    ~PosixSerialPort() override { Close(); }

    bool Open(const std::string& device) override {
        Close();
        hungUp_ = false;
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            return Fail(errno);
        }
        // TIOCEXCL keeps other programs out, but root passes it; the advisory
        // lock also stops a second open by any program that locks, root or not.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno == EWOULDBLOCK ? EBUSY : errno;
            CloseFds();
            return Fail(e);
        }
        if (::ioctl(fd_, TIOCEXCL) != 0) {
            const int e = errno;  // ENOTTY: not a serial port at all
            CloseFds();
            return Fail(e);
        }
        cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (cancelFd_ < 0) {
            lastErrno_ = errno;  // the watch thread reports it
        }
        return true;
    }

    bool Configure(const LineSettings& s) override {
        termios tio{};
        speed_t speed{};
        if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) {
            return Fail(fd_ < 0 ? EBADF : errno);
        }
        if (!SpeedFor(s.baud, speed) || s.stopBits == 1 || s.parity > 4) {
            return Fail(EINVAL);  // no such rate, or 1.5 stop bits
        }
        // Raw bytes in both directions. A new ttyUSB comes up with IXON set,
        // and the kernel would then eat every 0x11 and 0x13 the pager sends
        // (in data and checksums alike): software flow control goes off.
        // Hardware flow control (CRTSCTS) stays as the port had it.
        // Whatever another program left set, every byte passes unchanged: no
        // byte dropped or marked (IGNPAR, PARMRK), stripped (ISTRIP), mapped
        // (INLCR, IGNCR, ICRNL, OPOST) or taken as a control character
        // (ICANON, ISIG, IEXTEN), and a read returns what has come (VMIN, VTIME).
        tio.c_iflag &=
            ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR |
                                   ICRNL | INPCK | IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
        tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN | XCASE);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        tio.c_cflag |= DataBitsFlag(s.dataBits) | CREAD | CLOCAL;
        if (s.stopBits == 2) {
            tio.c_cflag |= CSTOPB;
        }
        if (s.parity != 0) {
            tio.c_cflag |= PARENB;
            if (s.parity == 1 || s.parity == 3) {
                tio.c_cflag |= PARODD;
            }
            if (s.parity >= 3) {
                tio.c_cflag |= CMSPAR;
            }
        }
        tio.c_cc[VMIN] = 0;  // a read returns at once with what has arrived
        tio.c_cc[VTIME] = 0;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
            return Fail(errno);
        }
        return true;
    }

    void Purge() override {
        if (fd_ >= 0) {
            ::tcflush(fd_, TCIOFLUSH);
        }
    }

    std::size_t BytesWaiting() override {
        int n = 0;
        if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) {
            return 0;
        }
        return static_cast<std::size_t>(n);
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override {
        if (fd_ < 0) {
            return 0;
        }
        const ssize_t n = ::read(fd_, buffer, capacity);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    std::size_t Write(const std::uint8_t* bytes, std::size_t count,
                      std::chrono::milliseconds timeout) override {
        if (fd_ < 0) {
            return 0;
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(fd_, bytes + done, count - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                lastErrno_ = errno;
                break;
            }
            if (!WaitWritable(deadline)) {
                break;
            }
        }
        return done;
    }

    bool PrepareWait() override { return fd_ >= 0 && cancelFd_ >= 0; }

    WaitResult WaitForInput(std::optional<std::chrono::milliseconds> limit) override {
        const int timeout = limit ? static_cast<int>(limit->count()) : -1;
        if (hungUp_) {
            const WaitResult r = WaitForCancel(timeout);
            return r == WaitResult::Cancelled ? r : WaitResult::Quiet;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
        int rc = 0;
        do {
            rc = ::poll(fds, 2, timeout);
        } while (rc < 0 && errno == EINTR);
        if (rc >= 0 && (fds[1].revents & POLLIN) != 0) {
            return WaitResult::Cancelled;
        }
        if (rc == 0) {
            return WaitResult::Quiet;
        }
        if (rc > 0 && (fds[0].revents & POLLIN) != 0 && BytesWaiting() > 0) {
            return WaitResult::Input;
        }
        // A USB bridge pulled out, or the far end of a pty closed: the tty
        // is hung up for good, and poll would report it again at once.
        if (rc > 0 && (fds[0].revents & POLLHUP) != 0) {
            hungUp_ = true;
            return WaitResult::HungUp;
        }
        // Anything else (an error on the port): rest a moment, still ending
        // early when the link closes.
        const WaitResult r = WaitForCancel(kFailedWaitRestMs);
        return r == WaitResult::Cancelled ? r : WaitResult::Failed;
    }

    void CancelWait() override {
        if (cancelFd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(cancelFd_, &one, sizeof one);
        }
    }

    void Close() override {
        if (fd_ >= 0) {
            ::ioctl(fd_, TIOCNXCL);
        }
        CloseFds();
    }

    std::string LastError() const override {
        return lastErrno_ == 0 ? std::string() : std::string(std::strerror(lastErrno_));
    }

  private:
    static constexpr int kFailedWaitRestMs = 100;

    // Cancelled when CancelWait was called within `ms` (-1: no limit).
    WaitResult WaitForCancel(int ms) {
        pollfd cancel{cancelFd_, POLLIN, 0};
        int rc = 0;
        do {
            rc = ::poll(&cancel, 1, ms);
        } while (rc < 0 && errno == EINTR);
        return rc > 0 && (cancel.revents & POLLIN) != 0 ? WaitResult::Cancelled
                                                        : WaitResult::Failed;
    }

    bool Fail(int e) {
        lastErrno_ = e;
        return false;
    }

    bool WaitWritable(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            lastErrno_ = ETIMEDOUT;
            return false;
        }
        pollfd out{fd_, POLLOUT, 0};
        return ::poll(&out, 1, static_cast<int>(left.count())) > 0 && (out.revents & POLLOUT) != 0;
    }

    void CloseFds() {
        if (fd_ >= 0) {
            ::close(fd_);  // also drops the advisory lock
            fd_ = -1;
        }
        if (cancelFd_ >= 0) {
            ::close(cancelFd_);
            cancelFd_ = -1;
        }
    }

    int fd_ = -1;
    int cancelFd_ = -1;
    int lastErrno_ = 0;
    bool hungUp_ = false;  // the watch thread's
};

}  // namespace

std::unique_ptr<SerialPort> MakeSystemSerialPort() {
    return std::make_unique<PosixSerialPort>();
}

}  // namespace sn
