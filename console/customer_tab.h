#pragma once

#include <QWidget>

struct CategoryRecord;
struct CustomerInput;
class DirectoryListFill;
class LimitedTextBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TForm3;

// The "客户信息维护" tab: the customer categories, the customers of the current category, and the
// boxes and buttons that add, change and look up customers. Deleting goes through the delete dialog.
class CustomerTab : public QWidget {
    Q_OBJECT
public:
    // `record` is the current category record the address book shares.
    explicit CustomerTab(CategoryRecord& record, QWidget* parent = nullptr);

    // The dialog del_keHU_BitBtn4 shows.
    void setDeleteDialog(TForm3* dialog) { delete_dialog_ = dialog; }
    // The fill that serves ListView5 on a double-click, for callers that wait for it to end.
    DirectoryListFill& listFill() const { return *fill_; }

    QTreeWidget* TreeView1 = nullptr;
    QPushButton* Button11 = nullptr;
    QTreeWidget* ListView5 = nullptr;
    QLabel* Label_name = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLabel* Label_phone = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLabel* Label_category = nullptr;
    QLineEdit* Edit8 = nullptr;
    QLabel* Label_notes1 = nullptr;
    QLabel* Label_notes2 = nullptr;
    LimitedTextBox* Memo13 = nullptr;
    QPushButton* add_kehu_button = nullptr;
    QPushButton* ChaXun_BitBtn1 = nullptr;
    QPushButton* change_kehu_BitBtn2 = nullptr;
    QPushButton* del_keHU_BitBtn4 = nullptr;

public slots:
    // Refills the category tree; the window does this at start-up.
    void fillCategoryTree();
    void Button11Click() { fillCategoryTree(); }
    void TreeView1DblClick() { fillCategoryTree(); }
    void TreeView1Change(QTreeWidgetItem* node);
    void ListView5DblClick();
    void kehu_listvi_chang(int row);
    void add_kehu_buttonClick();
    void change_kehu_BitBtn2Click();
    void ChaXun_BitBtn1Click();
    void del_keHU_BitBtn4Click();

private:
    void buildControls();
    void arrange();
    void fillCustomerListNow();
    CustomerInput typedInput() const;

    CategoryRecord& record_;
    DirectoryListFill* fill_ = nullptr;
    TForm3* delete_dialog_ = nullptr;
};
