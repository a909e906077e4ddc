#pragma once

#include <QWidget>

#include <string>

struct EngineOptions;
class DirectoryListFill;
class LimitedTextBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// The "点播信息维护" tab: query codes and their reply texts added, changed, deleted, looked up and
// listed; the members-only option; the members file opened for editing.
class CatalogueTab : public QWidget {
    Q_OBJECT
public:
    // `options` receives the members-only choice of CheckBox3 at every change.
    explicit CatalogueTab(EngineOptions& options, QWidget* parent = nullptr);

    // The fill that serves ListView1, for callers that wait for it to end.
    DirectoryListFill& listFill() const { return *fill_; }

    QTreeWidget* ListView1 = nullptr;
    QLabel* Label_code = nullptr;
    QLineEdit* Edit7 = nullptr;
    QLabel* Label_text = nullptr;
    LimitedTextBox* Memo8 = nullptr;
    QPushButton* add_dianbo = nullptr;
    QPushButton* ChaXun_DianBoBitBtn1 = nullptr;
    QPushButton* change_diaobo = nullptr;
    QPushButton* del_dianbao = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QPushButton* Button12 = nullptr;

public slots:
    void add_dianboClick();
    void change_diaoboClick();
    void del_dianbaoClick();
    void ChaXun_DianBoBitBtn1Click();
    void ListView1DblClick();
    void dianbo_listview_change(int row);
    void Button12Click();
    void CheckBox3Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void arrange();
    std::string codeText() const;
    std::string typedText() const;

    EngineOptions& options_;
    DirectoryListFill* fill_ = nullptr;
};
