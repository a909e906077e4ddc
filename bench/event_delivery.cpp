// Events through the journal to a local webhook receiver: how many a second are journaled, how many a
// second reach the receiver, and the latency one event adds from its journaling to the receiver's
// acceptance. The receiver is Python's standard HTTP server (one thread per request, answers 204) on
// 127.0.0.1; everything runs in a temporary directory.
//
// usage: event_delivery [EVENTS (default 2000)] [PACED (default 200)]
#include "engine/events/engine_events.h"
#include "platform/clock.h"
#include "platform/trace.h"
#include "store/journal_cursor.h"
#include "webhooks/webhook_feeds.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

int free_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

pid_t start_receiver(int port) {
    const std::string program =
        "import http.server\n"
        "class H(http.server.BaseHTTPRequestHandler):\n"
        "    protocol_version = 'HTTP/1.1'\n"
        "    def do_POST(self):\n"
        "        self.rfile.read(int(self.headers.get('Content-Length', '0')))\n"
        "        self.send_response(204); self.send_header('Content-Length', '0'); self.end_headers()\n"
        "    def log_message(self, *a): pass\n"
        "http.server.ThreadingHTTPServer(('127.0.0.1', " +
        std::to_string(port) + "), H).serve_forever()\n";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("python3", "python3", "-c", program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

long long cursor_seq() {
    std::optional<JournalCursor> cursor = read_journal_cursor(journal_dir, "webhook-URL");
    return cursor ? cursor->seq : -1;
}

bool wait_for_cursor(long long seq, std::chrono::seconds most) {
    auto deadline = Steady::now() + most;
    while (cursor_seq() < seq) {
        if (Steady::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

double seconds_since(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    int paced = argc > 2 ? std::atoi(argv[2]) : 200;
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vmsms-bench-events-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    int port = free_port();
    pid_t receiver = start_receiver(port);
    std::this_thread::sleep_for(std::chrono::milliseconds(700)); // the interpreter starts

    NullTrace trace;
    EngineEvents events(real_clock(), trace);
    WebhookSettings settings;
    settings.targets.push_back({"URL", "http://127.0.0.1:" + std::to_string(port) + "/hook", "secret", {}});
    int failures = 0;
    {
        WebhookFeeds feeds(settings, events, trace);
        // A burst: journaled as fast as the engine can, delivered one after the other.
        auto start = Steady::now();
        for (int i = 1; i <= count; ++i) {
            events.note(message_event("sent", "2026-12-11", 1, i, 1, "13900000001", "bench"));
        }
        double journaled = seconds_since(start);
        failures += wait_for_cursor(events.last_seq(), std::chrono::seconds(600)) ? 0 : 1;
        double delivered = seconds_since(start);
        std::printf("burst of %d events: journaled %.0f/s, delivered to the receiver %.0f/s (%.2f s in all)\n", count,
                    count / journaled, count / delivered, delivered);

        // One at a time: the latency one event adds, from its journaling to the receiver's acceptance.
        std::vector<double> latency_ms;
        for (int i = 1; i <= paced; ++i) {
            auto noted = Steady::now();
            events.note(message_event("sent", "2026-12-11", 2, i, 1, "13900000001", "bench"));
            failures += wait_for_cursor(events.last_seq(), std::chrono::seconds(30)) ? 0 : 1;
            latency_ms.push_back(seconds_since(noted) * 1000);
        }
        std::sort(latency_ms.begin(), latency_ms.end());
        std::printf("one event at a time (%d): latency median %.2f ms, 90%% %.2f ms, 99%% %.2f ms, max %.2f ms\n",
                    paced, latency_ms[latency_ms.size() / 2], latency_ms[latency_ms.size() * 9 / 10],
                    latency_ms[latency_ms.size() * 99 / 100], latency_ms.back());
    }
    ::kill(receiver, SIGTERM);
    ::waitpid(receiver, nullptr, 0);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    if (failures) {
        std::printf("%d waits ran out\n", failures);
    }
    return failures ? 1 : 0;
}
