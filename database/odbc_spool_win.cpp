// SpoolFile on Windows: LockFileEx for the lock, FlushFileBuffers after
// every change; the file is emptied through the handle that holds the lock.

#include <windows.h>

#include "database/odbc_spool.h"

namespace sn {

struct SpoolFile::Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);  // the lock goes with it
        }
    }
};

namespace {

bool Fail(const std::string& what, std::string& error) {
    error = what + ": error " + std::to_string(GetLastError());
    return false;
}

bool MoveTo(HANDLE h, LONGLONG offset, DWORD from) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    return SetFilePointerEx(h, at, nullptr, from) != 0;
}

}  // namespace

SpoolFile::SpoolFile() = default;
SpoolFile::~SpoolFile() = default;

bool SpoolFile::Open(const std::string& path, std::string& error) {
    auto handle = std::make_unique<Handle>();
    handle->h =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle->h == INVALID_HANDLE_VALUE) {
        return Fail("the spool " + path + " cannot be opened", error);
    }
    OVERLAPPED at = {};
    if (!LockFileEx(handle->h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at)) {
        return Fail("the spool " + path + " cannot be locked", error);
    }
    handle_ = std::move(handle);
    return true;
}

bool SpoolFile::ReadAll(std::string& text, std::string& error) {
    text.clear();
    if (!MoveTo(handle_->h, 0, FILE_BEGIN)) {
        return Fail("the spool cannot be read", error);
    }
    char buffer[65536];
    while (true) {
        DWORD got = 0;
        if (!ReadFile(handle_->h, buffer, sizeof buffer, &got, nullptr)) {
            return Fail("the spool cannot be read", error);
        }
        if (got == 0) {
            return true;
        }
        text.append(buffer, got);
    }
}

bool SpoolFile::Append(const std::string& bytes, std::string& error) {
    DWORD put = 0;
    if (!MoveTo(handle_->h, 0, FILE_END) ||
        !WriteFile(handle_->h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) ||
        put != bytes.size()) {
        return Fail("the spool cannot be written", error);
    }
    return FlushFileBuffers(handle_->h) || Fail("the spool cannot be flushed", error);
}

bool SpoolFile::Clear(std::string& error) {
    if (!MoveTo(handle_->h, 0, FILE_BEGIN) || !SetEndOfFile(handle_->h)) {
        return Fail("the spool cannot be emptied", error);
    }
    return FlushFileBuffers(handle_->h) || Fail("the spool cannot be flushed", error);
}

}  // namespace sn
