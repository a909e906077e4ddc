#include "console/directory_list_fill.h"

#include <utility>

DirectoryListFill::DirectoryListFill(QObject* parent) : QObject(parent) {
    connect(&fill_, &BackgroundFill::finished, this, &DirectoryListFill::finished);
}

void DirectoryListFill::start(Reader read) {
    // The reader runs on the fill's thread; `this` is only used by the batches it delivers, which reach
    // the GUI thread only while the read is current.
    fill_.start([this, read = std::move(read)](const BackgroundFill::Run& run) {
        RowBatches<Row> rows(run, batch_size, [this](const QList<Row>& batch) { emit rowsReady(batch); });
        read([&](Row row) {
            if (run.replaced()) {
                return false;
            }
            rows.add(std::move(row));
            return true;
        });
        rows.flush();
    });
}
