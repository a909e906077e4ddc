#include "support/pg_server.h"

#include "support/free_port.h"

#include <libpq-fe.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The newest server installed by Debian's postgresql packages.
std::string server_bin_dir() {
    std::string best;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        std::string bin = entry.path().string() + "/bin";
        if (std::filesystem::exists(bin + "/initdb") && (best.empty() || entry.path().string() > best)) {
            best = bin;
        }
    }
    return best;
}

// As root, the server's user: nobody.
struct RunAs {
    bool drop = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

RunAs server_user() {
    RunAs as;
    if (::geteuid() != 0) {
        return as;
    }
    if (passwd* pw = ::getpwnam("nobody")) {
        as = {true, pw->pw_uid, pw->pw_gid};
    }
    return as;
}

std::string tail_of(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

} // namespace

PgServer::PgServer(const std::string& dir) : dir_(dir), data_(dir + "/data"), bin_(server_bin_dir()) {
    // The port only names the socket file; numbers that parallel tests take must differ.
    port_ = free_tcp_port();
    if (port_ == 0) {
        port_ = 20000 + ::getpid() % 20000;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir_, ec);
    RunAs as = server_user();
    if (as.drop) {
        // nobody must reach the directory through its parents (temporary directories are 0700).
        for (std::filesystem::path p = dir_; p.has_relative_path() && p != p.root_path(); p = p.parent_path()) {
            struct stat st {};
            if (::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) == 0) {
                ::chmod(p.c_str(), st.st_mode | S_IXOTH);
            }
        }
        if (::chown(dir_.c_str(), as.uid, as.gid) != 0) {
            error_ = "cannot give " + dir_ + " to nobody";
            return;
        }
    }
    if (bin_.empty()) {
        error_ = "no PostgreSQL server under /usr/lib/postgresql (apt-get install postgresql)";
        return;
    }
    if (!run_tool("initdb", {"-D", data_, "-A", "trust", "-U", "postgres", "-E", "UTF8", "--locale=C", "-N"})) {
        error_ = "initdb failed: " + error_;
        return;
    }
    std::ofstream conf(data_ + "/postgresql.conf", std::ios::app);
    conf << "listen_addresses = ''\nunix_socket_directories = '" << dir_ << "'\nport = " << port_
         << "\nfsync = off\nsynchronous_commit = off\nfull_page_writes = off\nmax_connections = 100\n"
            "shared_buffers = 32MB\n";
    conf.close();
    if (!start()) {
        return;
    }
    ready_ = run_tool("createdb", {"-h", dir_, "-p", std::to_string(port_), "-U", "postgres", "vmsms"});
    if (!ready_) {
        error_ = "createdb failed: " + error_;
    }
}

PgServer::~PgServer() {
    if (std::filesystem::exists(data_ + "/postmaster.pid")) {
        run_tool("pg_ctl", {"-D", data_, "-m", "immediate", "-w", "stop"});
    }
}

std::string PgServer::error() const {
    return error_ + "\n--- server log\n" + tail_of(dir_ + "/server.log");
}

std::string PgServer::dsn() const {
    return "postgresql:///vmsms?host=" + dir_ + "&port=" + std::to_string(port_) + "&user=postgres";
}

bool PgServer::stop() {
    return run_tool("pg_ctl", {"-D", data_, "-m", "fast", "-w", "stop"});
}

bool PgServer::start() {
    if (!run_tool("pg_ctl", {"-D", data_, "-l", dir_ + "/server.log", "-w", "-t", "60", "start"})) {
        error_ = "pg_ctl start failed";
        return false;
    }
    std::string conninfo = "host=" + dir_ + " port=" + std::to_string(port_) + " dbname=postgres user=postgres";
    for (int i = 0; i < 300; ++i) {
        if (PQping(conninfo.c_str()) == PQPING_OK) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    error_ = "the server did not accept connections";
    return false;
}

void PgServer::kill_hard() {
    if (pid_t pid = postmaster_pid(); pid > 0) {
        ::kill(pid, SIGKILL);
        for (int i = 0; i < 100 && ::kill(pid, 0) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    // Its children notice the postmaster is gone and end by themselves.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

pid_t PgServer::postmaster_pid() const {
    std::ifstream in(data_ + "/postmaster.pid");
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
}

std::optional<std::string> PgServer::psql_value(const std::string& sql) const {
    PGconn* db =
        PQconnectdb(("host=" + dir_ + " port=" + std::to_string(port_) + " dbname=vmsms user=postgres").c_str());
    std::optional<std::string> value;
    if (PQstatus(db) == CONNECTION_OK) {
        PQsetClientEncoding(db, "UTF8");
        PGresult* result = PQexec(db, sql.c_str());
        if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0 && !PQgetisnull(result, 0, 0)) {
            value = PQgetvalue(result, 0, 0);
        } else if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0) {
            value = std::string();
        } else {
            error_ = PQerrorMessage(db);
        }
        PQclear(result);
    } else {
        error_ = PQerrorMessage(db);
    }
    PQfinish(db);
    return value;
}

bool PgServer::run_tool(const std::string& tool, const std::vector<std::string>& args) const {
    std::string path = bin_ + "/" + tool;
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    RunAs as = server_user();
    std::string output = dir_ + "/" + tool + ".out";
    pid_t pid = ::fork();
    if (pid == 0) {
        if (as.drop && (::setgroups(0, nullptr) != 0 || ::setgid(as.gid) != 0 || ::setuid(as.uid) != 0)) {
            ::_exit(126);
        }
        int fd = ::open("/dev/null", O_RDONLY);
        ::dup2(fd, 0);
        int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) {
        error_ = "cannot run " + tool;
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error_ = tool + " exited with " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ": " +
                 tail_of(output);
        return false;
    }
    return true;
}
