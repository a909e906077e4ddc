#include "console/monitor_tab.h"

#include "console/control_identity.h"
#include "console/monitor_model.h"
#include "console/qt_text.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

// The monitor shows white text on the classic Windows desktop colour.
const QColor desktop_background(0x3a, 0x6e, 0xa5);

void paint_monitor(QPlainTextEdit* box) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, desktop_background);
    palette.setColor(QPalette::Text, Qt::white);
    box->setPalette(palette);
}

} // namespace

MonitorTab::MonitorTab(MonitorModel& model, QWidget* parent) : QWidget(parent) {
    Memo7 = new QPlainTextEdit(this);
    nameControl(Memo7, "Memo7", QStringLiteral("信息监控"));
    // Only the engine and the console write here; text typed by hand would be lost at the next write.
    Memo7->setReadOnly(true);
    // Nothing here is ever undone, and an undo history would keep every line the monitor has dropped.
    Memo7->setUndoRedoEnabled(false);
    Memo7->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    paint_monitor(Memo7);
    set_box_text(Memo7, from_gbk(model.monitor_text()));

    const QString note = QStringLiteral("本软件不限制机器,可安装到多台电脑；一台电脑可以启动多个进程,控制多台设备。"
                                        "                ");
    Label22 = makeNamed<QLabel>(this, "Label22", note);
    Label22->setStyleSheet(QStringLiteral("color: green"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo7, 1);
    layout->addWidget(Label22);

    connect(&model, &MonitorModel::monitorReplaced, this, &MonitorTab::replaceText);
    connect(&model, &MonitorModel::monitorPrepended, this, &MonitorTab::prependText);
    connect(&model, &MonitorModel::monitorCut, this, &MonitorTab::cutText);
}

void MonitorTab::replaceText(const QString& text) {
    set_box_text(Memo7, text);
}

void MonitorTab::prependText(const QString& text) {
    // Inserting at the top keeps a prepend cheap however long the monitor text has grown.
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor(Memo7->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(plain);
}

void MonitorTab::cutText(int lines) {
    // The model has dropped everything after its first `lines` line breaks; each break begins a block.
    QTextDocument* document = Memo7->document();
    QTextBlock first_gone = document->findBlockByNumber(lines);
    if (!first_gone.isValid()) {
        return;
    }
    QTextCursor cursor(document);
    cursor.setPosition(first_gone.position());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}
