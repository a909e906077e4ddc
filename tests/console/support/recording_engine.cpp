#include "console/support/recording_engine.h"

RecordingEngine::~RecordingEngine() {
    calls->push_back("deleted");
}

void RecordingEngine::Resume() {
    calls->push_back("Resume");
    if (pause_count == 0) {
        return;
    }
    if (--pause_count == 0 && !finished) {
        suspended = false;
    }
}

void RecordingEngine::Suspend() {
    calls->push_back("Suspend");
    ++pause_count;
    suspended = true;
}

void RecordingEngine::Shutdown() {
    calls->push_back("Shutdown");
    finished = true;
}

EngineFactory recording_engine_factory(RecordingEngine** engine) {
    return [engine](EngineOptions&, OperatorOutput&, Clock&) {
        auto created = std::make_unique<RecordingEngine>();
        *engine = created.get();
        return created;
    };
}
