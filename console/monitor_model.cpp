#include "console/monitor_model.h"

#include "console/qt_text.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

// Changes waiting for the GUI thread beyond these are folded into the state they lead to, so an engine
// that writes faster than the window follows does not pile them up.
constexpr std::size_t max_pending_changes = 4096;

// Line breaks as a text box shows them: CR LF is one, and so are a lone LF and a lone CR. GBK's second
// bytes are never CR or LF, so every such byte is a break of its own.
std::size_t count_breaks(std::string_view text) {
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++breaks;
        }
    }
    return breaks;
}

// The length of the longest start of `text`, at most `room` bytes, that ends between two characters.
// A GBK character is a lead byte 0x81-0xFE and a trail byte 0x40-0xFE other than 0x7F; any other byte
// stands alone, as the conversion for the window reads it.
std::size_t character_boundary(std::string_view text, std::size_t room) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t width = 1;
        auto lead = static_cast<unsigned char>(text[at]);
        if (lead >= 0x81 && lead <= 0xFE && at + 1 < text.size()) {
            auto trail = static_cast<unsigned char>(text[at + 1]);
            if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
                width = 2;
            }
        }
        if (at + width > room) {
            break;
        }
        at += width;
    }
    return at;
}

} // namespace

MonitorModel::MonitorModel(std::string initial_text, std::size_t limit, QObject* parent)
    : QObject(parent), limit_(limit) {
    if (!initial_text.empty()) {
        breaks_ = count_breaks(initial_text);
        size_ = initial_text.size();
        pieces_.push_front({std::move(initial_text), breaks_});
    }
    cut_to_limit();
}

void MonitorModel::set_caption(const std::string& text) {
    push({ChangeKind::Caption, text});
}

void MonitorModel::replace_monitor(const std::string& text) {
    push({ChangeKind::Replace, text});
}

void MonitorModel::prepend_monitor(const std::string& text) {
    push({ChangeKind::Prepend, text});
}

std::size_t MonitorModel::monitor_length() {
    std::lock_guard lock(mutex_);
    return size_;
}

std::string MonitorModel::monitor_text() const {
    std::lock_guard lock(mutex_);
    return joined();
}

std::string MonitorModel::caption() const {
    std::lock_guard lock(mutex_);
    return caption_;
}

std::string MonitorModel::joined() const {
    std::string text;
    text.reserve(size_);
    for (const Piece& piece : pieces_) {
        text += piece.text;
    }
    return text;
}

MonitorModel::Cut MonitorModel::cut_to_limit() {
    if (size_ <= limit_) {
        return Cut::None;
    }
    // The last LF that leaves at most `limit_` bytes before the cut, looked for from the oldest end: the
    // bytes looked at all go, so the search costs what the cut removes. Pieces wholly past the limit are
    // not looked into at all.
    std::size_t end = size_;
    for (auto piece = pieces_.rbegin(); piece != pieces_.rend(); ++piece) {
        std::size_t start = end - piece->text.size();
        end = start;
        if (start >= limit_) {
            continue;
        }
        std::size_t room = std::min(limit_ - start, piece->text.size());
        std::size_t lf = piece->text.rfind('\n', room - 1);
        if (lf != std::string::npos) {
            keep_bytes(start + lf + 1);
            return Cut::AfterLine;
        }
    }
    // The newest line alone is longer than the limit: keep as much of it as fits, whole characters only.
    std::string text = joined();
    text.resize(character_boundary(text, limit_));
    pieces_.clear();
    size_ = text.size();
    breaks_ = count_breaks(text);
    pieces_.push_front({std::move(text), breaks_});
    return Cut::Whole;
}

void MonitorModel::keep_bytes(std::size_t kept) {
    while (size_ - pieces_.back().text.size() >= kept) {
        size_ -= pieces_.back().text.size();
        breaks_ -= pieces_.back().breaks;
        pieces_.pop_back();
    }
    if (size_ > kept) {
        Piece& oldest = pieces_.back();
        std::size_t keep = oldest.text.size() - (size_ - kept);
        std::size_t gone_breaks = count_breaks(std::string_view(oldest.text).substr(keep));
        oldest.breaks -= gone_breaks;
        breaks_ -= gone_breaks;
        oldest.text.resize(keep);
        if (oldest.text.capacity() > 2 * keep + 64) {
            oldest.text.shrink_to_fit();
        }
        size_ = kept;
    }
}

void MonitorModel::push(Change change) {
    bool ask = false;
    {
        std::lock_guard lock(mutex_);
        switch (change.kind) {
        case ChangeKind::Caption:
            caption_ = change.text;
            break;
        case ChangeKind::Replace:
            pieces_.clear();
            size_ = 0;
            breaks_ = 0;
            [[fallthrough]];
        case ChangeKind::Prepend:
            if (!change.text.empty()) {
                std::size_t breaks = count_breaks(change.text);
                size_ += change.text.size();
                breaks_ += breaks;
                pieces_.push_front({change.text, breaks});
            }
            switch (cut_to_limit()) {
            case Cut::None:
                break;
            case Cut::AfterLine:
                if (change.kind == ChangeKind::Prepend) {
                    change.cut_lines = static_cast<int>(breaks_);
                    break;
                }
                [[fallthrough]];
            case Cut::Whole:
                change = {ChangeKind::Replace, joined()};
                break;
            }
            pending_bytes_ += change.text.size();
            break;
        }
        pending_.push_back(std::move(change));
        squeeze_pending();
        ask = !delivery_asked_;
        delivery_asked_ = true;
    }
    // A writer on the GUI thread sees its change at once (after any change queued before it); the
    // engine's changes wait for the GUI thread's event loop.
    if (QThread::currentThread() == thread()) {
        deliver();
    } else if (ask) {
        QMetaObject::invokeMethod(this, &MonitorModel::deliver, Qt::QueuedConnection);
    }
}

void MonitorModel::squeeze_pending() {
    // Twice the limit, so the text that replaces the waiting changes leaves room for a limit's worth of
    // new ones before the next fold: folding costs the text's length once per that many bytes written.
    if (pending_.size() <= max_pending_changes && pending_bytes_ <= 2 * limit_) {
        return;
    }
    bool caption = false;
    bool monitor = false;
    for (const Change& change : pending_) {
        (change.kind == ChangeKind::Caption ? caption : monitor) = true;
    }
    pending_.clear();
    pending_bytes_ = 0;
    if (caption) {
        pending_.push_back({ChangeKind::Caption, caption_});
    }
    if (monitor) {
        pending_.push_back({ChangeKind::Replace, joined()});
        pending_bytes_ = size_;
    }
}

void MonitorModel::deliver() {
    // A slot that writes to the model lands here again; the run under way picks its change up in turn.
    if (delivering_) {
        return;
    }
    delivering_ = true;
    for (;;) {
        Change change;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                delivery_asked_ = false;
                break;
            }
            change = std::move(pending_.front());
            pending_.pop_front();
            if (change.kind != ChangeKind::Caption) {
                pending_bytes_ -= change.text.size();
            }
        }
        emit_change(change);
    }
    delivering_ = false;
}

void MonitorModel::emit_change(const Change& change) {
    QString text = from_gbk(change.text);
    switch (change.kind) {
    case ChangeKind::Caption:
        emit captionChanged(text);
        break;
    case ChangeKind::Replace:
        emit monitorReplaced(text);
        break;
    case ChangeKind::Prepend:
        emit monitorPrepended(text);
        if (change.cut_lines >= 0) {
            emit monitorCut(change.cut_lines);
        }
        break;
    }
}
