#include "console/list_fill.h"

#include "console/qt_text.h"

QStringList ListRow::values() const {
    QStringList out{running, record, recipients, content, time};
    if (barred) {
        out << QStringLiteral("禁发");
    }
    return out;
}

QString ListRow::valueLine(int k) const {
    QString joined;
    for (const QString& value : values()) {
        joined += value + QStringLiteral("\r\n");
    }
    QStringList lines = joined.split(QLatin1Char('\n'));
    if (k < 1 || k > lines.size()) {
        return {};
    }
    QString line = lines.at(k - 1);
    if (line.endsWith(QLatin1Char('\r'))) {
        line.chop(1);
    }
    return line;
}

namespace {

ListRow toListRow(const SpoolListRow& row, long running) {
    ListRow out;
    out.running = QString::number(running);
    out.record = QString::number(row.record);
    out.recipients = from_gbk(row.recipients);
    out.content = from_gbk(row.content);
    out.time = from_gbk(row.time);
    out.barred = row.barred;
    if (row.delivery) {
        QStringList said;
        for (auto [count, word] : {std::pair{row.delivery->delivered, "送达"}, std::pair{row.delivery->failed, "失败"},
                                   std::pair{row.delivery->pending, "未决"}}) {
            if (count > 0) {
                said << QString::fromUtf8(word) + QString::number(count);
            }
        }
        out.delivery = said.join(QLatin1Char(' '));
    }
    return out;
}

// Walks the span on the fill's thread, checking before each record whether the fill was replaced.
void walk(const std::string& day, const ListSpan& span, const BackgroundFill::Run& run, RowBatches<ListRow>& rows) {
    long running = 0;
    for (long i = span.first; i <= span.last && !run.replaced(); ++i) {
        auto row = read_list_row(day, span, i);
        if (!row) {
            if (span.stop_at_gap) {
                break;
            }
            continue;
        }
        rows.add(toListRow(*row, ++running));
    }
    rows.flush();
}

} // namespace

ListFill::ListFill(ListKind kind, QObject* parent) : QObject(parent), kind_(kind) {
    connect(&fill_, &BackgroundFill::finished, this, &ListFill::finished);
}

void ListFill::start(const std::string& day) {
    // The job runs on the fill's thread; `this` is only used by the steps it delivers, which run on the
    // GUI thread and only while the fill is current.
    fill_.start([this, kind = kind_, day](const BackgroundFill::Run& run) {
        if (run.replaced()) {
            return;
        }
        auto clear = [this, &run] { run.deliver([this] { emit cleared(); }); };
        if (clears_before_reading(kind)) {
            clear();
        }
        if (auto span = list_span(kind, day)) {
            if (!clears_before_reading(kind)) {
                clear();
            }
            RowBatches<ListRow> rows(run, batch_size, [this](const ListRows& batch) { emit rowsReady(batch); });
            walk(day, *span, run, rows);
        }
    });
}
