#include "console/monitor_model.h"

#include "console/qt_text.h"

#include <QMetaObject>
#include <QThread>

MonitorModel::MonitorModel(std::string initial_text, QObject* parent)
    : QObject(parent), text_(std::move(initial_text)) {}

void MonitorModel::set_caption(const std::string& text) {
    push(ChangeKind::Caption, text);
}

void MonitorModel::replace_monitor(const std::string& text) {
    push(ChangeKind::Replace, text);
}

void MonitorModel::prepend_monitor(const std::string& text) {
    push(ChangeKind::Prepend, text);
}

std::size_t MonitorModel::monitor_length() {
    std::lock_guard lock(mutex_);
    return text_.size();
}

std::string MonitorModel::monitor_text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

std::string MonitorModel::caption() const {
    std::lock_guard lock(mutex_);
    return caption_;
}

void MonitorModel::push(ChangeKind kind, const std::string& text) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        switch (kind) {
        case ChangeKind::Caption:
            caption_ = text;
            break;
        case ChangeKind::Replace:
            text_ = text;
            break;
        case ChangeKind::Prepend:
            text_.insert(0, text);
            break;
        }
        post = changes_.push([this, change = Change{kind, text}] { emit_change(change); });
    }
    // A writer on the GUI thread sees its change at once (after any change queued before it); the
    // engine's changes wait for the GUI thread's event loop.
    if (QThread::currentThread() == thread()) {
        deliver();
    } else if (post) {
        QMetaObject::invokeMethod(this, &MonitorModel::deliver, Qt::QueuedConnection);
    }
}

void MonitorModel::deliver() {
    // A slot that writes to the model lands here again; the run under way picks its change up in turn.
    changes_.run();
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
        break;
    }
}
