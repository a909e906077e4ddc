#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

// A modem behind a pseudo-terminal, as small as the device test needs: the gateway opens the slave
// side by its path like a serial device; every "at" command it writes gets the answer given here,
// and AT+CSQ and AT+CREG? the answers of a modem registered at home with a good signal; a silent modem
// answers nothing.
class PtyModem {
public:
    // `answer` goes back for each "at\r" the gateway writes; an empty answer is a silent modem.
    explicit PtyModem(std::string answer);
    ~PtyModem();
    PtyModem(const PtyModem&) = delete;
    PtyModem& operator=(const PtyModem&) = delete;

    bool valid() const { return master_ >= 0; }
    // The device path to put into server.txt as COM.
    const std::string& path() const { return path_; }
    // Everything the gateway wrote.
    std::string received() const;

private:
    void serve();

    std::string answer_;
    int master_ = -1;
    // Held open so the master never sees the line hang up between the gateway's openings.
    int slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};
