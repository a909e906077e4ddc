#include "console/engine_control.h"
#include "console/main_window.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>

#include <exception>

namespace {

// Two options for benchmarks and documentation, not for operators: --quit-after-paint ends the program
// once the window has been shown; --screenshot FILE saves the window's picture to FILE, then ends it
// (--tab N shows tab N, from 1, in the picture instead of the settings tab).
struct StartOptions {
    bool quit_after_paint = false;
    QString screenshot;
    int tab = 0;
};

StartOptions start_options(const QStringList& args) {
    StartOptions options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--quit-after-paint")) {
            options.quit_after_paint = true;
        } else if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size()) {
            options.screenshot = args[++i];
        } else if (args[i] == QLatin1String("--tab") && i + 1 < args.size()) {
            options.tab = args[++i].toInt();
        }
    }
    return options;
}

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

int run(QApplication& app) {
    TForm1 form(real_clock(), make_engine_thread);
    form.show();
    finish_early(form, start_options(QApplication::arguments()));
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vmSMS"));
    try {
        return run(app);
    } catch (const std::exception& e) {
        // As the framework's own top-level handler does: tell the operator, then end normally.
        QMessageBox::critical(nullptr, QStringLiteral("vmSMS"), QString::fromLocal8Bit(e.what()));
        return 0;
    }
}
