#pragma once

#include <string>

// An exclusive flock on a lock file, held for the object's lifetime. It works across threads (each
// holder opens its own descriptor) and across processes.
//
// Everyone who may write the guarded files must be able to take the lock, whichever user made the lock
// file: a new lock file is made readable and writable by all (mode 0666 whatever the umask), and one
// that this user may not open for writing is opened for reading, which flock accepts as well. When the
// file cannot be opened at all (or the flock fails), locked() is false and error() tells why: a holder
// must then not touch the guarded files.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool locked() const { return fd_ >= 0; }
    // The errno value of the failure when not locked, else 0.
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};
