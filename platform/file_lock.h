#pragma once

#include <chrono>
#include <string>

// An exclusive flock on a lock file, held for the object's lifetime. It works across threads (each
// holder opens its own descriptor) and across processes.
//
// Whoever may open the lock file can hold it, so it is only as open as the files it guards: a new lock
// file gets the mode the umask gives the spool's files, with read access taken from those who may not
// write (a read-only descriptor takes a flock as well). A lock file of ours that is wider than that is
// narrowed when opened. Another user who may write but not open it for writing opens it for reading.
//
// The wait for the lock is bounded: past `wait`, locked() is false and error() is ETIMEDOUT. When the
// file cannot be opened at all (or the flock fails), locked() is false and error() tells why. A holder
// must then not touch the guarded files.
class FileLock {
public:
    static constexpr std::chrono::milliseconds default_wait{5000};

    explicit FileLock(const std::string& path, std::chrono::milliseconds wait = default_wait);
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

// The mode a lock file is given (and narrowed to): 0666 less the umask, less read for the classes that
// may not write.
unsigned lock_file_mode();
