#include "console/directory_list_fill.h"

#include "console/control_identity.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <utility>

// Lives on the list's thread and runs the readers there.
class DirectoryListFillWorker : public QObject {
    Q_OBJECT
public:
    explicit DirectoryListFillWorker(std::shared_ptr<std::atomic<quint64>> generation)
        : generation_(std::move(generation)) {}

    void run(quint64 generation, const DirectoryListFill::Reader& read) {
        QList<QStringList> batch;
        auto replaced = [&] { return generation_->load() != generation; };
        read([&](QStringList row) {
            if (replaced()) {
                return false;
            }
            batch.append(std::move(row));
            if (batch.size() >= DirectoryListFill::batch_size) {
                emit rowsReady(generation, batch);
                batch.clear();
            }
            return true;
        });
        if (!batch.isEmpty() && !replaced()) {
            emit rowsReady(generation, batch);
        }
        emit finished(generation);
    }

signals:
    void rowsReady(quint64 generation, const QList<QStringList>& rows);
    void finished(quint64 generation);

private:
    std::shared_ptr<std::atomic<quint64>> generation_;
};

DirectoryListFill::DirectoryListFill(QObject* parent)
    : QObject(parent), generation_(std::make_shared<std::atomic<quint64>>(0)) {
    thread_ = new QThread(this);
    worker_ = new DirectoryListFillWorker(generation_);
    worker_->moveToThread(thread_);
    connect(worker_, &DirectoryListFillWorker::rowsReady, this, &DirectoryListFill::onRows, Qt::QueuedConnection);
    connect(worker_, &DirectoryListFillWorker::finished, this, &DirectoryListFill::onFinished, Qt::QueuedConnection);
    thread_->start();
}

DirectoryListFill::~DirectoryListFill() {
    cancel();
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void DirectoryListFill::start(Reader read) {
    quint64 generation = ++*generation_;
    running_ = true;
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, generation, read = std::move(read)] { worker->run(generation, read); },
        Qt::QueuedConnection);
}

void DirectoryListFill::cancel() {
    ++*generation_;
    running_ = false;
}

void DirectoryListFill::onRows(quint64 generation, const QList<QStringList>& rows) {
    if (generation == generation_->load()) {
        emit rowsReady(rows);
    }
}

void DirectoryListFill::onFinished(quint64 generation) {
    if (generation == generation_->load()) {
        running_ = false;
        emit finished();
    }
}

namespace {

// Hands every double-click on a view's viewport to a handler.
class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject* parent, std::function<void()> handler) : QObject(parent), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonDblClick) {
            handler_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

QString shownOnOneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

QTreeWidget* makeDirectoryList(QWidget* parent, const char* name, const QString& caption, const QStringList& headers,
                               const QList<int>& widths) {
    auto* list = new QTreeWidget(parent);
    nameControl(list, name, caption);
    list->setColumnCount(static_cast<int>(headers.size()));
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setMinimumSectionSize(1);
    list->header()->setStretchLastSection(true);
    list->header()->setSectionsMovable(false);
    for (int column = 0; column < widths.size(); ++column) {
        list->setColumnWidth(column, widths.at(column));
    }
    return list;
}

void appendDirectoryRows(QTreeWidget* list, const QList<QStringList>& rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const QStringList& row : rows) {
        auto* item = new QTreeWidgetItem;
        for (int column = 0; column < row.size(); ++column) {
            item->setText(column, shownOnOneLine(row.at(column)));
            item->setData(column, Qt::UserRole, row.at(column));
        }
        items.append(item);
    }
    list->addTopLevelItems(items);
}

QString directoryCell(const QTreeWidget* list, int row, int column) {
    const QTreeWidgetItem* item = list->topLevelItem(row);
    return item ? item->data(column, Qt::UserRole).toString() : QString();
}

void onDoubleClick(QAbstractItemView* view, std::function<void()> handler) {
    view->viewport()->installEventFilter(new DoubleClickFilter(view, std::move(handler)));
}

QList<int> newlySelectedRows(const QItemSelection& selected) {
    QList<int> rows;
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() == 0 && !index.parent().isValid()) {
            rows.append(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

#include "directory_list_fill.moc"
