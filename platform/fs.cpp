#include "platform/fs.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

void make_dir(const std::string& path) {
    ::mkdir(path.c_str(), 0777);
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool remove_file(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}
