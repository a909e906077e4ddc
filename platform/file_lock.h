#pragma once

#include <string>

// An exclusive flock on a lock file, held for the object's lifetime. It works across threads (each
// holder opens its own descriptor) and across processes.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
