#pragma once

#include <QWidget>

struct CategoryRecord;
class DirectoryListFill;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The address book of the compose tab: the categories, the customers of the one chosen, and picking a
// customer appends its token (category, byte 0x02, name, then ';') to the recipients box. The engine
// looks the number up by the token when it sends.
class AddressBook : public QWidget {
    Q_OBJECT
public:
    // `record` is the current category record the customer tab shares; `shoujihao` is the compose tab's
    // recipients box.
    AddressBook(CategoryRecord& record, QPlainTextEdit* shoujihao, QWidget* parent = nullptr);

    // The fill that serves TreeView2 when tongxb is pressed, for callers that wait for it to end.
    DirectoryListFill& treeFill() const { return *fill_; }

    QPushButton* tongxb = nullptr;
    QTreeWidget* TreeView2 = nullptr;
    QTreeWidget* ListView6 = nullptr;

public slots:
    // Fills the category tree at once; the window does this at start-up.
    void fillTree();
    // tongxb: refills the tree in the background.
    void tongxunbo_buton();
    void TreeView2Change(QTreeWidgetItem* node);
    void ListView6Change(int row);

private:
    CategoryRecord& record_;
    QPlainTextEdit* shoujihao_;
    DirectoryListFill* fill_ = nullptr;
};
