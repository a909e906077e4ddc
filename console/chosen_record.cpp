#include "console/chosen_record.h"

#include "console/console_state.h"
#include "console/list_fill.h"
#include "console/qt_text.h"
#include "platform/text_file.h"
#include "platform/text_ops.h"
#include "store/spool.h"

void loadChosenRecord(ConsoleState& state, const ListRow& row, const std::string& day, QPlainTextEdit* recipients_box,
                      QPlainTextEdit* content_box) {
    int n = static_cast<int>(parse_decimal(row.valueLine(2).toStdString()));
    state.setSelectedMessage(n);
    auto recipients = read_text_file(spool_path(day, SpoolDir::New, "R", n));
    if (!recipients) {
        return;
    }
    set_box_text(recipients_box, from_gbk(*recipients));
    auto content = read_text_file(spool_path(day, SpoolDir::New, "DA", n));
    if (!content) {
        return;
    }
    set_box_text(content_box, from_gbk(*content));
}
