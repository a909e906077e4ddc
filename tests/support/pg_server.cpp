#include "support/pg_server.h"

#include "support/free_port.h"

#include <libpq-fe.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kSuperuser = "postgres";
const char* const kDatabase = "vmsms";

bool has_server_tools(const fs::path& bin) {
    std::error_code ec;
    return fs::exists(bin / "initdb", ec) && fs::exists(bin / "pg_ctl", ec) && fs::exists(bin / "postgres", ec);
}

// The newest server installed by Debian's postgresql packages (/usr/lib/postgresql/<major>/bin), else
// the one on PATH.
std::string server_bin_dir() {
    std::string best;
    long best_major = -1;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string name = entry.path().filename().string();
        char* end = nullptr;
        long major = std::strtol(name.c_str(), &end, 10);
        if (end != name.c_str() && major > best_major && has_server_tools(entry.path() / "bin")) {
            best = (entry.path() / "bin").string();
            best_major = major;
        }
    }
    if (!best.empty()) {
        return best;
    }
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && has_server_tools(dir)) {
            return dir;
        }
    }
    return {};
}

// As root, the server's user: nobody (initdb and postgres refuse to run as root).
struct RunAs {
    bool drop = false;
    bool known = true;
    uid_t uid = 0;
    gid_t gid = 0;
};

RunAs server_user() {
    RunAs as;
    if (::geteuid() != 0) {
        return as;
    }
    as.drop = true;
    if (passwd* pw = ::getpwnam("nobody")) {
        as.uid = pw->pw_uid;
        as.gid = pw->pw_gid;
    } else {
        as.known = false;
    }
    return as;
}

std::string tail_of(const std::string& path, std::size_t size = 2000) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    return all.size() > size ? all.substr(all.size() - size) : all;
}

// Fields of /proc/<pid>/stat: the program's name, its state and its parent. A zombie has finished.
struct ProcState {
    std::string comm;
    char state = 0;
    pid_t ppid = 0;
};

std::optional<ProcState> proc_state(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return std::nullopt;
    }
    // "pid (comm) S ppid ...": the name may hold spaces and parentheses, so it ends at the last ')'.
    std::size_t open = line.find('(');
    std::size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::nullopt;
    }
    ProcState ps;
    ps.comm = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    long ppid = 0;
    rest >> ps.state >> ppid;
    ps.ppid = static_cast<pid_t>(ppid);
    return ps;
}

bool live_postgres(pid_t pid) {
    if (pid <= 0) {
        return false;
    }
    std::optional<ProcState> ps = proc_state(pid);
    return ps && ps->comm == "postgres" && ps->state != 'Z' && ps->state != 'X';
}

std::vector<pid_t> all_pids() {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
            pids.push_back(static_cast<pid_t>(std::stol(name)));
        }
    }
    return pids;
}

pid_t postmaster_pid_of(const std::string& data_dir) {
    std::ifstream in(data_dir + "/postmaster.pid");
    long pid = 0;
    in >> pid;
    return in ? static_cast<pid_t>(pid) : 0;
}

} // namespace

std::string uri_encoded(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

PgServer::PgServer(const std::string& dir) : bin_(server_bin_dir()) {
    std::error_code ec;
    fs::path absolute = fs::absolute(dir, ec).lexically_normal();
    dir_ = absolute.string();
    while (dir_.size() > 1 && dir_.back() == '/') {
        dir_.pop_back();
    }
    data_ = dir_ + "/data";
    // The port only names the socket file in our own directory; a number nobody uses keeps it unique anyway.
    port_ = free_tcp_port();
    if (port_ == 0) {
        port_ = 20000 + ::getpid() % 20000;
    }
    if (bin_.empty()) {
        fail("no PostgreSQL server under /usr/lib/postgresql or on PATH (apt-get install postgresql)");
        return;
    }
    if (dir_.size() + std::strlen("/.s.PGSQL.65535") >= sizeof(sockaddr_un{}.sun_path)) {
        fail("the directory " + dir_ + " is too long to hold the server's socket");
        return;
    }
    fs::create_directories(dir_, ec);
    if (ec) {
        fail("cannot make " + dir_ + ": " + ec.message());
        return;
    }
    RunAs as = server_user();
    if (!as.known) {
        fail("running as root, and there is no user nobody to run the server as");
        return;
    }
    if (as.drop) {
        // nobody must reach the directory through its parents; temporary directories are often 0700, so
        // they get search permission (not listing) for others.
        for (fs::path p = fs::path(dir_).parent_path(); !p.empty(); p = p.parent_path()) {
            struct stat st {};
            if (::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) == 0 &&
                ::chmod(p.c_str(), (st.st_mode & 07777) | S_IXOTH) != 0) {
                fail("cannot let nobody through " + p.string() + ": " + std::strerror(errno));
                return;
            }
            if (p == p.root_path()) {
                break;
            }
        }
        if (::chown(dir_.c_str(), as.uid, as.gid) != 0) {
            fail("cannot give " + dir_ + " to nobody: " + std::strerror(errno));
            return;
        }
    }
    if (!run_tool("initdb", {"-D", data_, "-A", "trust", "-U", kSuperuser, "-E", "UTF8", "--locale=C", "--no-sync"})) {
        return;
    }
    std::string quoted_dir;
    for (char c : dir_) {
        quoted_dir += c == '\'' ? std::string("''") : std::string(1, c);
    }
    {
        std::ofstream conf(data_ + "/postgresql.conf", std::ios::app);
        conf << "\n# A test's own server: its socket only, and no waiting for the disk.\n"
             << "listen_addresses = ''\n"
             << "unix_socket_directories = '\"" << quoted_dir << "\"'\n"
             << "port = " << port_
             << "\n"
             // Commits still reach the kernel before they return, so one that returned survives kill_hard();
             // only a crash of the machine could lose it, and tests do not crash the machine.
             << "fsync = off\nsynchronous_commit = on\nfull_page_writes = off\n"
             << "max_connections = 100\nshared_buffers = 32MB\n";
        conf.close();
        if (!conf) {
            fail("cannot write " + data_ + "/postgresql.conf");
            return;
        }
    }
    if (!start()) {
        return;
    }
    const char* keys[] = {"host", "port", "dbname", "user", nullptr};
    std::string port = std::to_string(port_);
    const char* values[] = {dir_.c_str(), port.c_str(), "postgres", kSuperuser, nullptr};
    PGconn* db = PQconnectdbParams(keys, values, 0);
    if (PQstatus(db) == CONNECTION_OK) {
        PGresult* result = PQexec(db, ("CREATE DATABASE " + std::string(kDatabase)).c_str());
        ready_ = PQresultStatus(result) == PGRES_COMMAND_OK;
        if (!ready_) {
            fail(std::string("cannot create the database: ") + PQerrorMessage(db));
        }
        PQclear(result);
    } else {
        fail(std::string("cannot connect to the new server: ") + PQerrorMessage(db));
    }
    PQfinish(db);
}

PgServer::~PgServer() {
    if (!processes().empty()) {
        run_tool("pg_ctl", {"-D", data_, "-m", "immediate", "-w", "-t", "30", "stop"});
    }
    // A server that would not stop is killed: no test leaves one behind.
    if (!processes().empty()) {
        kill_all(10);
    }
}

std::string PgServer::error() const {
    std::lock_guard<std::mutex> lock(error_lock_);
    return error_ + "\n--- server log " + dir_ + "/server.log:\n" + tail_of(dir_ + "/server.log");
}

bool PgServer::fail(const std::string& what) const {
    std::lock_guard<std::mutex> lock(error_lock_);
    error_ = what;
    return false;
}

std::string PgServer::dsn() const {
    return "postgresql:///" + std::string(kDatabase) + "?host=" + uri_encoded(dir_) + "&port=" + std::to_string(port_) +
           "&user=" + kSuperuser;
}

bool PgServer::stop() {
    if (!run_tool("pg_ctl", {"-D", data_, "-m", "fast", "-w", "-t", "60", "stop"})) {
        return false;
    }
    // pg_ctl returns once the postmaster has removed its pid file, which it does a moment before it
    // exits: wait (bounded) for the last process to go, so that a stopped server has nothing running.
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!processes().empty()) {
        if (Clock::now() > deadline) {
            return fail("the server's processes were still running 10 s after it stopped");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool PgServer::start() {
    std::error_code ec;
    if (bin_.empty() || !fs::exists(data_ + "/PG_VERSION", ec)) {
        return fail("there is no database cluster in " + data_);
    }
    if (!run_tool("pg_ctl", {"-D", data_, "-l", dir_ + "/server.log", "-w", "-t", "60", "start"})) {
        return false;
    }
    return wait_until_accepting();
}

bool PgServer::wait_until_accepting() const {
    const char* keys[] = {"host", "port", "dbname", "user", "connect_timeout", nullptr};
    std::string port = std::to_string(port_);
    const char* values[] = {dir_.c_str(), port.c_str(), "postgres", kSuperuser, "5", nullptr};
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (PQpingParams(keys, values, 0) != PQPING_OK) {
        if (Clock::now() > deadline) {
            return fail("the server did not accept connections within 30 s");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void PgServer::kill_hard() {
    if (!kill_all(10)) {
        fail("processes of the server outlived SIGKILL");
        return;
    }
    // The postmaster can stay a zombie until its new parent reaps it, and a new postmaster takes a lock
    // file that names a process still there for a live server. Everything is gone, so the locks are stale:
    // remove them, as an administrator would after a crash. Recovery does not depend on them.
    std::error_code ec;
    fs::remove(data_ + "/postmaster.pid", ec);
    fs::remove(dir_ + "/.s.PGSQL." + std::to_string(port_) + ".lock", ec);
}

bool PgServer::kill_all(int seconds) {
    // The postmaster is frozen first, so that it neither starts new children nor sees the others die.
    pid_t master = postmaster_pid_of(data_);
    if (live_postgres(master)) {
        ::kill(master, SIGSTOP);
    }
    std::set<pid_t> killed;
    auto deadline = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        for (pid_t pid : processes()) {
            killed.insert(pid);
        }
        bool left = false;
        for (pid_t pid : killed) {
            if (live_postgres(pid)) {
                left = true;
                if (pid != master) {
                    ::kill(pid, SIGKILL);
                }
            }
        }
        if (live_postgres(master)) {
            ::kill(master, SIGKILL);
        }
        if (!left) {
            return true;
        }
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<pid_t> PgServer::processes() const {
    // The postmaster and its children; and, where /proc lets us see it, anything that still works in the
    // data directory, which finds children a killed postmaster left behind.
    std::set<pid_t> found;
    pid_t master = postmaster_pid_of(data_);
    bool master_live = live_postgres(master);
    if (master_live) {
        found.insert(master);
    }
    std::error_code ec;
    fs::path data = fs::canonical(data_, ec);
    for (pid_t pid : all_pids()) {
        if (pid == ::getpid()) {
            continue;
        }
        std::optional<ProcState> ps = proc_state(pid);
        if (!ps || !live_postgres(pid)) {
            continue;
        }
        if (master_live && ps->ppid == master) {
            found.insert(pid);
            continue;
        }
        std::error_code cwd_ec;
        fs::path cwd = fs::read_symlink("/proc/" + std::to_string(pid) + "/cwd", cwd_ec);
        if (!cwd_ec && !data.empty() && cwd == data) {
            found.insert(pid);
        }
    }
    return {found.begin(), found.end()};
}

std::optional<std::string> PgServer::psql_value(const std::string& sql) const {
    const char* keys[] = {"host", "port", "dbname", "user", "client_encoding", "connect_timeout", nullptr};
    std::string port = std::to_string(port_);
    const char* values[] = {dir_.c_str(), port.c_str(), kDatabase, kSuperuser, "UTF8", "10", nullptr};
    PGconn* db = PQconnectdbParams(keys, values, 0);
    std::optional<std::string> value;
    if (PQstatus(db) == CONNECTION_OK) {
        PGresult* result = PQexec(db, sql.c_str());
        if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0 && PQnfields(result) > 0) {
            value = PQgetisnull(result, 0, 0) ? std::string() : std::string(PQgetvalue(result, 0, 0));
        } else if (PQresultStatus(result) == PGRES_TUPLES_OK) {
            fail("the query returned no rows: " + sql);
        } else {
            fail(sql + ": " + PQerrorMessage(db));
        }
        PQclear(result);
    } else {
        fail(std::string("cannot connect: ") + PQerrorMessage(db));
    }
    PQfinish(db);
    return value;
}

bool PgServer::run_tool(const std::string& tool, const std::vector<std::string>& args) const {
    // Everything the child needs is made before fork: between fork and exec only plain system calls run.
    std::vector<std::string> all{bin_ + "/" + tool};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    // The caller's PG* settings (PGDATA, PGPORT, PGOPTIONS...) must not point the tools elsewhere.
    std::vector<std::string> env_strings;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "PG", 2) != 0 && std::strncmp(*e, "LC_ALL=", 7) != 0) {
            env_strings.emplace_back(*e);
        }
    }
    env_strings.emplace_back("LC_ALL=C");
    std::vector<char*> envp;
    for (std::string& e : env_strings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const std::string output = dir_ + "/" + tool + ".out";
    const RunAs as = server_user();

    pid_t pid = ::fork();
    if (pid == 0) {
        if (as.drop && (::setgroups(0, nullptr) != 0 || ::setgid(as.gid) != 0 || ::setuid(as.uid) != 0)) {
            ::_exit(125);
        }
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || ::chdir(dir_.c_str()) != 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(out, 2) < 0) {
            ::_exit(126);
        }
        // The postmaster outlives us: it must not hold the test's files and sockets open.
        if (::close_range(3, ~0U, 0) != 0) {
            for (int fd = 3; fd < 1024; ++fd) {
                ::close(fd);
            }
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid < 0) {
        return fail("cannot start " + tool + ": " + std::strerror(errno));
    }
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid) {
        return fail("lost " + tool + ": " + std::strerror(errno));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return true;
    }
    std::string how;
    if (!WIFEXITED(status)) {
        how = "was killed by signal " + std::to_string(WTERMSIG(status));
    } else if (WEXITSTATUS(status) == 125) {
        how = "could not become the user nobody";
    } else if (WEXITSTATUS(status) == 126) {
        how = "could not enter " + dir_ + " or open " + output;
    } else if (WEXITSTATUS(status) == 127) {
        how = "could not be run from " + bin_;
    } else {
        how = "exited with " + std::to_string(WEXITSTATUS(status));
    }
    return fail(tool + " " + how + ":\n" + tail_of(output));
}
