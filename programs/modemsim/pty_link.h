#pragma once

#include <memory>
#include <string>
#include <string_view>

// The modem's end of the serial line: a pseudo-terminal whose device the gateway opens through a
// link at a path of our choosing.
//
// We keep a descriptor of the device open ourselves. Without one, the master end reads EIO and polls
// as hung up whenever the gateway has the port closed, and would have to be watched on a timer. Our
// descriptor takes no lock and sets no exclusive flag, so the gateway's own exclusive open works as
// on a real port. A pseudo-terminal has no DTR line to tell us when the gateway lets go of the port,
// so we watch the device's closes instead.
class PtyLink {
public:
    // Creates the pseudo-terminal and links it at `link_path`, replacing whatever is there. Null,
    // with `error` set, when either fails.
    static std::unique_ptr<PtyLink> create(const std::string& link_path, std::string& error);
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    int fd() const { return master_; }
    int watch_fd() const { return watch_; }
    const std::string& device() const { return device_; }

    enum class Input { Data, Nothing, Broken };
    // One read of what the gateway wrote.
    Input read(std::string& data);

    // Takes the close notices of the device. True when the last user of the port has just closed it; the line is then
    // as a real port leaves it on its last close: no exclusive flag, no answers waiting for a reader that has gone.
    bool port_released();

    // Queues bytes for the gateway; they go out as the line takes them.
    void send(std::string_view bytes);
    bool has_output() const { return !output_.empty(); }
    void write_pending();

private:
    PtyLink(int master, int slave, int watch, std::string device, std::string link)
        : master_(master), slave_(slave), watch_(watch), device_(std::move(device)), link_(std::move(link)) {}

    int master_;
    int slave_;
    int watch_;
    std::string device_;
    std::string link_;
    std::string output_;
};
