#include "platform/privileges.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

bool become_user(const std::string& program, const std::string& user) {
    errno = 0;
    const passwd* account = ::getpwnam(user.c_str());
    if (account == nullptr) {
        std::fprintf(stderr, "%s: no user %s\n", program.c_str(), user.c_str());
        return false;
    }
    if (::geteuid() != 0) {
        std::fprintf(stderr, "%s: --user %s needs root to start with\n", program.c_str(), user.c_str());
        return false;
    }
    uid_t uid = account->pw_uid;
    gid_t gid = account->pw_gid;
    if (::initgroups(user.c_str(), gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
        std::fprintf(stderr, "%s: cannot become %s: %s\n", program.c_str(), user.c_str(), std::strerror(errno));
        return false;
    }
    // Root must be gone for good: a process that could take it back has not given it up.
    if (::setuid(0) == 0) {
        std::fprintf(stderr, "%s: could take root back after becoming %s; stopping\n", program.c_str(), user.c_str());
        return false;
    }
    return true;
}
