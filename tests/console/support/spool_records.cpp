#include "console/support/spool_records.h"

#include "console/list_fill.h"
#include "console/list_fill_model.h"
#include "platform/gbk.h"
#include "platform/text_file.h"
#include "store/spool.h"

#include <QItemSelectionModel>
#include <QTest>
#include <QTreeView>

namespace {

std::string record_path(const std::string& day, const std::string& dir, const std::string& name, long n) {
    return day + "/" + dir + "/" + name + std::to_string(n);
}

} // namespace

bool put_record(const std::string& day, const std::string& dir, long n, const std::string& recipients,
                const std::string& content, const std::string& time) {
    ensure_day_dirs(day);
    if (!write_text_file(record_path(day, dir, "R", n), gbk(recipients)) ||
        !write_text_file(record_path(day, dir, "DA", n), gbk(content))) {
        return false;
    }
    return time.empty() || write_text_file(record_path(day, dir, "H", n),
                                           dir == "recv" ? incoming_header(time) : outgoing_header(time));
}

bool put_counter(const std::string& day, const std::string& dir, const std::string& text) {
    ensure_day_dirs(day);
    return replace_file_atomically(day + "/" + dir + "/acc", text);
}

bool wait_for(ListFill& fill) {
    return QTest::qWaitFor([&fill] { return !fill.running(); }, 20000);
}

bool double_click_and_wait(QTreeView* view, ListFill& fill) {
    QWidget* area = view->viewport();
    QTest::mouseDClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(area->width() / 2, area->height() - 2));
    return wait_for(fill);
}

ListRowsModel* rows_of(QTreeView* view) {
    return qobject_cast<ListRowsModel*>(view->model());
}

void select_row(QTreeView* view, int row) {
    view->selectionModel()->select(rows_of(view)->index(row, 2),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QStringList listed_records(QTreeView* view) {
    QStringList out;
    ListRowsModel* model = rows_of(view);
    for (int r = 0; r < model->rowCount(); ++r) {
        out << model->row(r).record;
    }
    return out;
}
