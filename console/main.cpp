#include "console/engine_control.h"
#include "console/main_window.h"
#include "console/monitor_tab.h"
#include "platform/gbk.h"
#include "platform/program_options.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

// Options for benchmarks and documentation, not for operators: --quit-after-paint ends the program
// once the window has been shown; --screenshot FILE saves the window's picture to FILE, then ends it
// (--tab N shows tab N, from 1, in the picture instead of the settings tab); --monitor-lines N writes N
// send-pass lines into the monitor, as the engine thread does, printing the resident memory on the way,
// then ends it.
struct StartOptions {
    bool quit_after_paint = false;
    QString screenshot;
    int tab = 0;
    long monitor_lines = 0;
};

// Closes the window once it has painted itself for the first time.
class CloseAfterPaint : public QObject {
public:
    explicit CloseAfterPaint(TForm1& form) : QObject(&form), form_(form) { form.installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &form_ && event->type() == QEvent::Paint) {
            form_.removeEventFilter(this);
            QTimer::singleShot(0, &form_, [this] { form_.close(); });
        }
        return false;
    }

private:
    TForm1& form_;
};

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Writes `lines` lines into the monitor from a thread of its own, as a send pass of the engine does, one
// per recipient. It lets the window catch up every thousand lines, so the box takes each line itself as
// it would from an engine that waits on the modem between recipients, and at none, a tenth, half and
// all of them prints the resident memory; then it closes the window.
class MonitorLoad {
public:
    MonitorLoad(TForm1& form, long lines) : form_(form), lines_(lines) {}

    // Closed by hand before the end, the window's event loop is gone: the writer's calls are served here
    // until it has seen the stop.
    ~MonitorLoad() {
        stop_ = true;
        while (writer_.joinable() && !done_) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        if (writer_.joinable()) {
            writer_.join();
        }
    }

    void start() {
        form_.PageControl1->setCurrentWidget(form_.monitorTab);
        QTimer::singleShot(0, &form_, [this] { writer_ = std::thread([this] { write(); }); });
    }

private:
    // Runs `call` on the GUI thread and waits for it. It is queued behind the monitor's own hand-over,
    // so the window has taken every line written before.
    template <class Call> void on_window(Call call) {
        QMetaObject::invokeMethod(&form_, call, Qt::BlockingQueuedConnection);
    }

    void write() {
        const auto begun = std::chrono::steady_clock::now();
        const std::string sent = gbk("    发送成功.\r\n");
        auto report = [&](long done) {
            on_window([&] {
                QCoreApplication::processEvents();
                auto ms =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begun);
                std::printf("%9ld lines  %8ld KiB resident  monitor %6zu bytes  %7lld ms\n", done, resident_kib(),
                            form_.monitor().monitor_length(), static_cast<long long>(ms.count()));
                std::fflush(stdout);
            });
        };
        report(0);
        for (long i = 1; i <= lines_ && !stop_; ++i) {
            form_.monitor().prepend_monitor("SMS Create Day: 2004-5-6     " + std::to_string(13800000000 + i) + "   0" +
                                            sent);
            if (i == lines_ / 10 || i == lines_ / 2 || i == lines_) {
                report(i);
            } else if (i % 1000 == 0) {
                on_window([] {});
            }
        }
        QMetaObject::invokeMethod(
            &form_, [this] { form_.close(); }, Qt::QueuedConnection);
        done_ = true;
    }

    TForm1& form_;
    const long lines_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::thread writer_;
};

void finish_early(TForm1& form, const StartOptions& options) {
    if (!options.screenshot.isEmpty()) {
        if (options.tab > 0) {
            form.PageControl1->setCurrentIndex(options.tab - 1);
        }
        // Let the tabs lay themselves out and paint once before the picture is taken.
        QTimer::singleShot(500, &form, [&form, path = options.screenshot] {
            form.grab().save(path);
            form.close();
        });
    } else if (options.quit_after_paint) {
        new CloseAfterPaint(form);
    }
}

int run(QApplication& app, const StartOptions& options) {
    TForm1 form(real_clock(), make_engine_thread);
    form.show();
    finish_early(form, options);
    std::unique_ptr<MonitorLoad> load;
    if (options.monitor_lines > 0) {
        load = std::make_unique<MonitorLoad>(form, options.monitor_lines);
        load->start();
    }
    return app.exec();
}

const char help_head[] =
    "usage: vmsms [OPTION]...\n"
    "The vmSMS operator console: the gateway's window, with its send/receive engine inside. It works in\n"
    "the working directory: server.txt, the day directories of the spool, log/, sms.log, query/ and\n"
    "cust/ all live there.\n"
    "\n";

QString local_text(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The console passes over what it does not know (the window system's own options among them), and a
// number it cannot read counts as 0.
ProgramSpec console_spec(StartOptions& options) {
    ProgramSpec spec;
    spec.program = "vmsms";
    spec.help_head = help_head;
    spec.help_column = 27;
    spec.lenient = true;
    spec.options = {
        dir_option("work in PATH instead of the current directory"),
        argument_option("--screenshot", "FILE", "save a picture of the window to FILE (PNG), then end",
                        [&options](const std::string& path) {
                            options.screenshot = local_text(path);
                            return std::string();
                        }),
        argument_option("--tab", "N", "with --screenshot: show tab N (from 1) instead of the settings tab",
                        [&options](const std::string& number) {
                            options.tab = local_text(number).toInt();
                            return std::string();
                        }),
        flag_option("--quit-after-paint", "end once the window has been shown (for start-up measurements)",
                    [&options] { options.quit_after_paint = true; }),
        argument_option("--monitor-lines", "N", "write N lines into the monitor and print the memory (a benchmark)",
                        [&options](const std::string& number) {
                            options.monitor_lines = local_text(number).toLong();
                            return std::string();
                        }),
        help_option("show this text and exit (no window is opened)"),
        version_option(),
    };
    return spec;
}

} // namespace

int main(int argc, char** argv) {
    // Before the application object exists: --help and --version open no window and touch no file.
    StartOptions options;
    ProgramSpec spec = console_spec(options);
    CommandLine line = read_command_line(spec, argc, argv);
    if (std::optional<int> status = settle_common_options(spec, line)) {
        return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vmSMS"));
    try {
        return run(app, options);
    } catch (const std::exception& e) {
        // As the framework's own top-level handler does: tell the operator, then end normally.
        QMessageBox::critical(nullptr, QStringLiteral("vmSMS"), QString::fromLocal8Bit(e.what()));
        return 0;
    }
}
