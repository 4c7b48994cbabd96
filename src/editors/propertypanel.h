#pragma once
#include <QDockWidget>
#include <QPointer>
#include <QSet>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/props/propertypaths.h"

class QAbstractSpinBox;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace zl {

class Control;
class TFrmZorLedForm;

// The "属性" panel: every published property of the selected widget, or of the page when none
// is selected, straight from the class's property table. Each editable kind has its editor and
// sets the value through the table's setter at once; every edit is one step of the page's undo
// history. Events, picture data, references and collection items are shown read-only.
class TPropertyPanel : public QDockWidget {
    Q_OBJECT
public:
    explicit TPropertyPanel(QWidget* parent = nullptr);

    // The page whose selection the panel follows; null for none.
    void SetPage(TFrmZorLedForm* page);
    // While play runs, nothing can be edited.
    void SetEditable(bool editable);

    // The object shown: the first selected widget, else the page.
    Persistent* Target() const;
    // Every selected widget (the first is Target()); empty when the page is shown.
    std::vector<Control*> Targets() const;

    QLabel* Heading;
    // Rows whose name holds the text (any case) stay, with the rows above them.
    QLineEdit* Filter;
    QTreeWidget* Tree;

    // The row of a property by its path ("Text.Font.Name"; a set's element as "Anchors[akRight]").
    QTreeWidgetItem* Row(const QString& path) const;
    // The row's editor; null for a read-only row.
    QWidget* Editor(const QString& path) const;

    // 恢复默认值: the value a new object of the shown class has, set on every selected widget (or
    // the page) as one undo step. False for a path that cannot be set.
    bool ResetToDefault(const QString& path);
    // Whether the row has a class default to go back to: false for read-only rows.
    bool CanReset(const QString& path) const;

    // Renames the one selected widget as one undo step. A name that is no identifier, a reserved
    // word or already borne on the page is refused with a message; the old name stays.
    bool Rename(const QString& name);

    // The row folding the event, help and drag rows, closed until the operator opens it.
    QTreeWidgetItem* MoreRow() const { return more_; }

    // Rebuilds or refreshes right away what changes of selection and history asked for later.
    void Flush();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct RowState {
        QString path;
        QTreeWidgetItem* item = nullptr;
        QWidget* editor = nullptr;
        std::function<void()> refresh;
    };

    void Schedule(bool rebuild);
    void ShowHeading();
    void AddNameRow();
    // The name column fits the longest name, unless the operator has dragged it, and the panel
    // keeps room for the widest editor beside it.
    void FitColumns();
    int RowHeight() const;
    void ApplyFilter();
    void Rebuild();
    void Refresh();
    void AddRows(Persistent& object, QTreeWidgetItem* parent, bool editable);
    void AddCollectionItems(Persistent& collection, QTreeWidgetItem* parent);
    // The editor of an editable row (null when its parts below it are the editors) and how it
    // shows the present value again.
    QWidget* MakeEditor(const PropertyPath& row, QTreeWidgetItem* item, std::function<void()>& refresh);
    void BlankWhenMixed(QAbstractSpinBox* spin, const std::string& path, std::function<PropValue()> value,
                        std::function<void(PropValue)> apply);
    // Sets the values through their setters on every selected widget that has them, as one undo step.
    void Apply(const QString& caption, const std::vector<std::pair<std::string, PropValue>>& values);
    PropValue Current(const std::string& path) const;
    // With several widgets selected: some of those that have the property hold another value.
    bool Differs(const std::string& path) const;

    QTreeWidgetItem* more_ = nullptr;
    bool nameColumnSet_ = false;  // the operator dragged the name column
    bool fitting_ = false;
    QPointer<TFrmZorLedForm> page_;
    QPointer<QWidget> widget_;  // the widget shown; null: the page
    std::vector<RowState> rows_;
    QSet<QString> expanded_;
    bool editable_ = true;
    bool rebuildPending_ = false;
    bool refreshPending_ = false;
    bool placed_ = false;
    size_t shownCount_ = 0;
};

// The text a read-only row shows for a value of the property.
QString PropertyText(const PropInfo& info, const PropValue& value);

}  // namespace zl
