#pragma once

#include "engine/operator_output.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

// Bytes of GBK text the monitor keeps: its newest part, well above the 20480 at which the engine's
// inbox step empties it, so that rule still sees what it always saw.
inline constexpr std::size_t monitor_kept_bytes = 65536;

// The window caption and the monitor text, written by the engine thread and by the GUI thread.
// The model itself is the one true copy: every writer changes it under a lock, so the engine reads the
// length it has just written, whatever the window has been shown yet. Each change is then handed to
// the GUI thread, in the order the writers made it, through the signals below; widgets only ever
// follow those signals. As in a shared log, the lock is never held while a signal goes out, so a slot
// may write to the model again.
//
// A send pass writes a line per recipient, for as long as it runs, so the text is bounded: once it
// grows past `limit` bytes it keeps only its newest part, cut just after the last line break that fits,
// and never within a GBK character. The text is held as the pieces the writers put in, newest first, so
// a prepend costs what its own text costs, not what the whole monitor holds.
class MonitorModel : public QObject, public OperatorOutput {
    Q_OBJECT

public:
    // `initial_text` (GBK) is what the monitor holds before the first writer.
    explicit MonitorModel(std::string initial_text, std::size_t limit = monitor_kept_bytes, QObject* parent = nullptr);

    // Any thread. Texts are GBK, line breaks CR LF, as a Windows text box holds them.
    void set_caption(const std::string& text) override;
    void replace_monitor(const std::string& text) override;
    void prepend_monitor(const std::string& text) override;
    // Counted in bytes of the GBK text, as an ANSI Windows text box counts its length: a Chinese
    // character counts 2, a line break 2. It is the length of what the window shows.
    std::size_t monitor_length() override;

    // The whole text; costs its length.
    std::string monitor_text() const;
    std::string caption() const;

signals:
    // Emitted on the GUI thread only, in the writers' order.
    void captionChanged(const QString& text);
    void monitorReplaced(const QString& text);
    void monitorPrepended(const QString& text);
    // Right after the prepend that took the text past the limit: the monitor keeps only its first `lines`
    // lines and ends with the break of the last of them. Line breaks count as a text box shows them: CR
    // LF, a lone LF and a lone CR are one each.
    void monitorCut(int lines);

private:
    enum class ChangeKind { Caption, Replace, Prepend };
    struct Change {
        ChangeKind kind;
        std::string text;
        int cut_lines = -1; // a prepend that cut the text: the lines kept
    };
    // One writer's text, with the line breaks a box would show in it.
    struct Piece {
        std::string text;
        std::size_t breaks = 0;
    };
    enum class Cut { None, AfterLine, Whole };

    void push(Change change);
    // Drops the oldest text past the limit; under mutex_. Whole: no line break fits, the text was cut
    // within a line and is now one piece.
    Cut cut_to_limit();
    void keep_bytes(std::size_t kept);
    std::string joined() const;
    // Bounds the changes waiting for the GUI thread; under mutex_.
    void squeeze_pending();
    // Hands the waiting changes to the GUI; runs on the GUI thread.
    void deliver();
    void emit_change(const Change& change);

    const std::size_t limit_;
    mutable std::mutex mutex_;
    std::deque<Piece> pieces_; // newest first
    std::size_t size_ = 0;     // bytes in pieces_
    std::size_t breaks_ = 0;   // line breaks in pieces_
    std::string caption_;

    // Filled under mutex_, so the changes reach the GUI thread in the order they were made.
    std::deque<Change> pending_;
    std::size_t pending_bytes_ = 0;
    bool delivery_asked_ = false;
    bool delivering_ = false; // GUI thread only
};
