#pragma once

#include "console/step_queue.h"
#include "engine/operator_output.h"

#include <QObject>
#include <QString>

#include <mutex>
#include <string>

// The window caption and the monitor text, written by the engine thread and by the GUI thread.
// The model itself is the one true copy: every writer changes it under a lock, so the engine reads the
// length it has just written, whatever the window has been shown yet. Each change is then handed to
// the GUI thread, in the order the writers made it, through the signals below; widgets only ever
// follow those signals. As in a shared log, the lock is never held while a signal goes out, so a slot
// may write to the model again.
class MonitorModel : public QObject, public OperatorOutput {
    Q_OBJECT

public:
    // `initial_text` (GBK) is what the monitor holds before the first writer.
    explicit MonitorModel(std::string initial_text, QObject* parent = nullptr);

    // Any thread. Texts are GBK, line breaks CR LF, as a Windows text box holds them.
    void set_caption(const std::string& text) override;
    void replace_monitor(const std::string& text) override;
    void prepend_monitor(const std::string& text) override;
    // Counted in bytes of the GBK text, as an ANSI Windows text box counts its length: a Chinese
    // character counts 2, a line break 2.
    std::size_t monitor_length() override;

    std::string monitor_text() const;
    std::string caption() const;

signals:
    // Emitted on the GUI thread only, one per change, in the writers' order.
    void captionChanged(const QString& text);
    void monitorReplaced(const QString& text);
    void monitorPrepended(const QString& text);

private:
    enum class ChangeKind { Caption, Replace, Prepend };
    struct Change {
        ChangeKind kind;
        std::string text;
    };

    void push(ChangeKind kind, const std::string& text);
    // Hands the queued changes to the GUI; runs on the GUI thread.
    void deliver();
    void emit_change(const Change& change);

    mutable std::mutex mutex_;
    std::string text_;
    std::string caption_;
    // Filled under mutex_, so the changes reach the GUI thread in the order they were made.
    StepQueue changes_;
};
