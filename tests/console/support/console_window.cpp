#include "console/support/console_window.h"

#include "console/monitor_tab.h"
#include "console/qt_text.h"
#include "store/settings.h"

#include <QTimer>

ConsoleWindow::ConsoleWindow(LocalTime start, SavedPort port) : clock(start) {
    if (port == SavedPort::Com1 && !port_setting_present() && !write_setting(settings::com, std::string("COM1"))) {
        qFatal("ConsoleWindow: cannot save the port in server.txt");
    }
    form = std::make_unique<TForm1>(clock, recording_engine_factory(&engine));
    form->Timer1->stop();
    calls = engine->calls;
}

QString ConsoleWindow::monitorText() const {
    return box_text(form->monitorTab->Memo7);
}
