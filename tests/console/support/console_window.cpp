#include "console/support/console_window.h"

#include "console/monitor_tab.h"
#include "console/qt_text.h"

#include <QTimer>

ConsoleWindow::ConsoleWindow(LocalTime start) : clock(start) {
    form = std::make_unique<TForm1>(clock, recording_engine_factory(&engine));
    form->Timer1->stop();
    calls = engine->calls;
}

QString ConsoleWindow::monitorText() const {
    return box_text(form->monitorTab->Memo7);
}
