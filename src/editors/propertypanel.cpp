#include "editors/propertypanel.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QPointer>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <climits>

#include "core/pagetext/nametables.h"
#include "core/props/enums.h"
#include "editors/colorbox.h"
#include "editors/fontdialog.h"
#include "editors/frmscrolltextedit.h"
#include "page/frmzorledform.h"
#include "qtbase/application.h"
#include "qtbase/qtstrings.h"

namespace zl {
namespace {

constexpr int kPathRole = Qt::UserRole;
// The rows of the widget's name and of the folded group are no property paths.
const QString kNamePath = QStringLiteral("Name");
const QString kMorePath = QStringLiteral("(more)");
// The value column is never narrower, even before any editor asked for more.
constexpr int kValueWidth = 120;
// Component names longer than this could not be read back from a page file's header line.
constexpr int kMaxNameLength = 63;
// Doubles hold every whole number up to 2^53 exactly.
constexpr double kWholeLimit = 9007199254740992.0;

std::span<const pagetext::IntegerName> IntegerNames(IntNames names) {
    switch (names) {
        case IntNames::Cursor: return pagetext::CursorNames();
        case IntNames::Charset: return pagetext::CharsetNames();
        default: return {};
    }
}

// What an operator rarely sets on a display page: shown folded away below the others.
bool Folded(const PropertyPath& row) {
    const std::string_view name = row.info->name;
    return row.depth == 0 &&
           (row.info->kind == PropKind::Event || name.starts_with("Help") || name.starts_with("Drag"));
}

// Reserved words and class visibility words: a field of that name would break the unit source,
// and "object", "inherited", "inline" and "end" the page file's own structure.
bool ReservedWord(const QString& name) {
    static const QStringList words = {
        "and", "array", "as", "asm", "automated", "begin", "case", "class", "const", "constructor",
        "destructor", "dispinterface", "div", "do", "downto", "else", "end", "except", "exports",
        "file", "finalization", "finally", "for", "function", "goto", "if", "implementation", "in",
        "inherited", "initialization", "inline", "interface", "is", "label", "library", "mod", "nil",
        "not", "object", "of", "or", "out", "packed", "private", "procedure", "program", "property",
        "protected", "public", "published", "raise", "record", "repeat", "resourcestring", "set", "shl",
        "shr", "string", "then", "threadvar", "to", "try", "type", "unit", "until", "uses", "var",
        "while", "with", "xor"};
    return words.contains(name, Qt::CaseInsensitive);
}

bool Identifier(const QString& name) {
    if (name.isEmpty()) return false;
    for (int i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

bool ReadOnlyKind(const PropInfo& info) {
    switch (info.kind) {
        case PropKind::Event:
        case PropKind::Reference:
        case PropKind::Binary:
        case PropKind::Collection: return true;
        case PropKind::Object: return false;
        default: return !info.set || !info.get;
    }
}

// Scrolling the panel passes over the editors: a spin box or drop-down takes the wheel only
// once it has the focus, else the wheel scrolls the rows as it does elsewhere in the panel.
class WheelGuard : public QObject {
public:
    static WheelGuard* Instance() {
        static QPointer<WheelGuard> guard;
        if (!guard) guard = new WheelGuard(qApp);
        return guard;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Wheel || !widget || widget->hasFocus()) return false;
        for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget())
            if (auto* area = qobject_cast<QAbstractScrollArea*>(p)) {
                QCoreApplication::sendEvent(area->viewport(), event);
                break;
            }
        return true;
    }

private:
    using QObject::QObject;
};

// Keeps the editors out of the way of the tree's own keys, look and wheel.
template <class W>
W* Compact(W* w) {
    w->setAutoFillBackground(true);
    w->setFocusPolicy(Qt::StrongFocus);
    w->installEventFilter(WheelGuard::Instance());
    return w;
}

std::optional<StringList> EditLines(QWidget* parent, const QString& title, const StringList& lines) {
    QDialog dialog(parent);
    dialog.setObjectName("PropertyLinesEdit");
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* memo = new QPlainTextEdit(&dialog);
    memo->setObjectName("Memo");
    memo->setPlainText(MemoTextOf(lines));
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(U("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(U("取消"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(memo);
    layout->addWidget(buttons);
    dialog.resize(420, 300);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return MemoLines(memo->toPlainText());
}

}  // namespace

QString PropertyText(const PropInfo& info, const PropValue& v) {
    switch (info.kind) {
        case PropKind::Integer:
            if (info.intNames == IntNames::Color) {
                if (auto name = pagetext::ColorToIdent(v.i)) return QString::fromLatin1(name->data(), int(name->size()));
                return QString("$%1").arg(static_cast<std::uint32_t>(v.i), 8, 16, QChar('0')).toUpper();
            }
            for (const auto& n : IntegerNames(info.intNames))
                if (n.value == v.i) return QString::fromLatin1(n.name.data(), int(n.name.size()));
            return QString::number(v.i);
        case PropKind::Enum:
            if (info.names)
                if (auto name = info.names->NameOf(v.i)) return QString::fromLatin1(name->data(), int(name->size()));
            return QString::number(v.i);
        case PropKind::Set: {
            QStringList names;
            if (info.names)
                for (const NameEntry& e : info.names->entries)
                    if (v.i & Bit(static_cast<int>(e.value))) names << QString::fromLatin1(e.name.data(), int(e.name.size()));
            return "[" + names.join(",") + "]";
        }
        case PropKind::Float: return QString::number(v.f, 'g', 15);
        case PropKind::Strings: return U("(%1 行)").arg(v.lines.size());
        case PropKind::Binary: return U("(%1 字节)").arg(v.s.size());
        case PropKind::String:
        case PropKind::Event:
        case PropKind::Reference: return Q(v.s);
        case PropKind::Object:
        case PropKind::Collection: break;
    }
    return {};
}

TPropertyPanel::TPropertyPanel(QWidget* parent) : QDockWidget(U("属性"), parent) {
    setObjectName("PropertyPanel");
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    Heading = new QLabel(body);
    Heading->setObjectName("Heading");
    Filter = new QLineEdit(body);
    Filter->setObjectName("Filter");
    Filter->setPlaceholderText(U("筛选属性"));
    Filter->setClearButtonEnabled(true);
    Tree = new QTreeWidget(body);
    Tree->setObjectName("PropertyTree");
    Tree->setColumnCount(2);
    Tree->setHeaderLabels({U("属性"), U("值")});
    Tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    Tree->setColumnWidth(0, 150);
    connect(Tree->header(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section == 0 && !fitting_) nameColumnSet_ = true;
    });
    Tree->setAlternatingRowColors(true);
    // Rows with and without an editor line up alike, and a long board table lays out fast.
    Tree->setUniformRowHeights(true);
    Tree->setSelectionMode(QAbstractItemView::NoSelection);
    connect(Tree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { expanded_.insert(item->data(0, kPathRole).toString()); });
    connect(Tree, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { expanded_.remove(item->data(0, kPathRole).toString()); });
    // The folded group opens and closes on a click anywhere on its row, not only on its mark.
    connect(Tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (item && item == more_) item->setExpanded(!item->isExpanded());
    });
    Tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Tree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = Tree->itemAt(at);
        if (!item || !editable_) return;
        const QString path = item->data(0, kPathRole).toString();
        QMenu menu(this);
        QAction* reset = menu.addAction(U("恢复默认值"));
        reset->setEnabled(CanReset(path));
        if (menu.exec(Tree->viewport()->mapToGlobal(at)) == reset) ResetToDefault(path);
    });
    connect(Filter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    layout->addWidget(Heading);
    layout->addWidget(Filter);
    layout->addWidget(Tree, 1);
    setWidget(body);
    resize(400, 640);
    rebuildPending_ = true;
}

void TPropertyPanel::SetPage(TFrmZorLedForm* page) {
    if (page_) disconnect(page_, nullptr, this, nullptr);
    page_ = page;
    if (page) {
        connect(page, &TFrmZorLedForm::SelectionChanged, this, [this] { Schedule(true); });
        if (page->History)
            connect(&page->History->Stack(), &QUndoStack::indexChanged, this, [this] { Schedule(false); });
    }
    Schedule(true);
}

void TPropertyPanel::SetEditable(bool editable) {
    editable_ = editable;
    Tree->setEnabled(editable);
}

Persistent* TPropertyPanel::Target() const {
    if (!page_) return nullptr;
    if (widget_) return Control::Of(widget_);
    return page_.data();
}

std::vector<Control*> TPropertyPanel::Targets() const {
    std::vector<Control*> out;
    if (!page_ || !widget_ || !page_->Selection) return out;
    for (const auto& item : page_->Selection->Items) out.push_back(item.Control);
    return out;
}

QTreeWidgetItem* TPropertyPanel::Row(const QString& path) const {
    for (const RowState& r : rows_)
        if (r.path == path) return r.item;
    return nullptr;
}

QWidget* TPropertyPanel::Editor(const QString& path) const {
    for (const RowState& r : rows_)
        if (r.path == path) return r.editor;
    return nullptr;
}

bool TPropertyPanel::ResetToDefault(const QString& path) {
    if (!CanReset(path)) return false;
    Persistent* target = Target();
    const std::string p = path.toStdString();
    // A new object of the class, never shown nor owned, tells its default.
    Component* fresh = target->Class().create(nullptr);
    PropValue value;
    {
        auto [freshInfo, freshOwner] = FindPath(*fresh, p);
        if (freshInfo) value = freshInfo->get(*freshOwner);
    }
    if (auto* control = dynamic_cast<Control*>(fresh)) delete control->Widget();
    else delete fresh;
    Apply(U("恢复默认值 ") + path, {{p, value}});
    return true;
}

bool TPropertyPanel::CanReset(const QString& path) const {
    Persistent* target = Target();
    if (!target || !editable_) return false;
    auto [info, owner] = FindPath(*target, path.toStdString());
    return info && info->get && info->set && !ReadOnlyKind(*info) && target->Class().create;
}

bool TPropertyPanel::Rename(const QString& wanted) {
    const std::vector<Control*> targets = Targets();
    if (!page_ || !page_->History || !editable_ || targets.size() != 1) return false;
    Control* widget = targets[0];
    const QString name = wanted.trimmed();
    QString problem;
    if (!Identifier(name))
        problem = U("“%1”不是有效的部件名称：名称须以英文字母或下划线开头，只含英文字母、数字和下划线。").arg(name);
    else if (name.size() > kMaxNameLength)
        problem = U("部件名称不能超过 %1 个字符。").arg(kMaxNameLength);
    else if (ReservedWord(name))
        problem = U("“%1”是保留字，不能用作部件名称。").arg(name);
    else if (Component* other = page_->FindComponent(name.toStdString()); other && other != widget)
        problem = U("本页面已有名为“%1”的部件，部件名称须唯一。").arg(Q(other->Name()));
    if (!problem.isEmpty()) {
        Schedule(false);
        ReportError(problem + U("名称仍为“%1”。").arg(Q(widget->Name())));
        return false;
    }
    if (name.toStdString() == widget->Name()) return true;
    Guarded([&] {
        TPageHistory& history = *page_->History;
        PageState before = history.Take({widget});
        const QString caption = U("改名 ") + Q(widget->Name()) + " -> " + name;
        widget->SetName(name.toStdString());
        // The unit source is written from the widgets' names at every save, so it follows too.
        history.Record(caption, std::move(before), history.Take({widget}));
    });
    Schedule(false);
    return true;
}

void TPropertyPanel::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    // The first time it floats, it opens beside the page rather than over it.
    if (!placed_ && isFloating() && page_) {
        placed_ = true;
        const QRect frame = page_->frameGeometry();
        QPoint at(frame.right() + 8, frame.top());
        if (QScreen* screen = page_->screen()) {
            const QRect room = screen->availableGeometry();
            if (at.x() + width() > room.right()) at.setX(std::max(room.left(), room.right() - width()));
        }
        move(at);
    }
    Flush();
}

void TPropertyPanel::Schedule(bool rebuild) {
    const bool idle = !rebuildPending_ && !refreshPending_;
    (rebuild ? rebuildPending_ : refreshPending_) = true;
    // Later, never inside the editor's own signal: a rebuild deletes the editors.
    if (idle) QMetaObject::invokeMethod(this, [this] { Flush(); }, Qt::QueuedConnection);
}

void TPropertyPanel::Flush() {
    // A hidden panel catches up when it is shown.
    if (isHidden()) return;
    if (rebuildPending_) Rebuild();
    else if (refreshPending_) Refresh();
}

void TPropertyPanel::Rebuild() {
    rebuildPending_ = refreshPending_ = false;
    const int scroll = Tree->verticalScrollBar()->value();
    Tree->clear();
    rows_.clear();
    more_ = nullptr;
    widget_ = nullptr;
    if (!page_) {
        Heading->clear();
        return;
    }
    Control* target = page_.data();
    if (page_->Selection && page_->Selection->Count() > 0) target = page_->Selection->Items[0].Control;
    if (target != page_.data()) widget_ = target->Widget();
    ShowHeading();
    shownCount_ = Targets().size();
    AddRows(*target, nullptr, true);
    AddNameRow();
    for (const RowState& r : rows_)
        if (expanded_.contains(r.path)) r.item->setExpanded(true);
    if (more_ && expanded_.contains(kMorePath)) more_->setExpanded(true);
    // Rows are all as high as an editor's, whichever row comes first: the tree takes the first
    // row's height for every row, and a first row of text only would clip the editors below.
    const int height = RowHeight();
    for (QTreeWidgetItemIterator it(Tree); *it; ++it) (*it)->setSizeHint(0, QSize(0, height));
    ApplyFilter();
    FitColumns();
    Tree->verticalScrollBar()->setValue(scroll);
}

void TPropertyPanel::ShowHeading() {
    Persistent* target = Target();
    if (!target) return;
    const QString kind = QString::fromLatin1(target->Class().name.data(), int(target->Class().name.size()));
    const QString name = Q(static_cast<Component*>(target)->Name());
    const int count = widget_ ? page_->Selection->Count() : 0;
    if (count > 1)
        Heading->setText(U("%1 个部件: ").arg(count) + name + U(" 等  (") + kind + ")");
    else
        Heading->setText((widget_ ? U("部件: ") : U("页面: ")) + name + "  (" + kind + ")");
}

void TPropertyPanel::AddNameRow() {
    // First among a widget's rows; on the page after its display time. Only one widget at a time
    // can be renamed, and the page's own name comes from its file.
    const bool single = widget_ && shownCount_ == 1;
    auto* item = new QTreeWidgetItem;
    Tree->insertTopLevelItem(widget_ ? 0 : std::min(1, Tree->topLevelItemCount()), item);
    item->setText(0, kNamePath);
    item->setToolTip(0, kNamePath);
    item->setData(0, kPathRole, kNamePath);
    RowState state{kNamePath, item, nullptr, {}};
    if (single && editable_) {
        auto* line = Compact(new QLineEdit);
        line->setObjectName(kNamePath);
        connect(line, &QLineEdit::editingFinished, this, [this, line] {
            Persistent* target = Target();
            if (target && line->text() != Q(static_cast<Component*>(target)->Name())) Rename(line->text());
        });
        state.refresh = [this, line] {
            const QSignalBlocker quiet(line);
            if (Persistent* target = Target()) line->setText(Q(static_cast<Component*>(target)->Name()));
            ShowHeading();
        };
        state.refresh();
        state.editor = line;
        Tree->setItemWidget(item, 1, line);
    } else {
        item->setText(1, shownCount_ > 1 ? QString() : Q(static_cast<Component*>(Target())->Name()));
        item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
    }
    rows_.insert(rows_.begin(), std::move(state));
}

int TPropertyPanel::RowHeight() const {
    int height = Tree->fontMetrics().height() + 6;
    for (const RowState& r : rows_)
        if (r.editor) height = std::max(height, r.editor->sizeHint().height());
    return height;
}

void TPropertyPanel::FitColumns() {
    const QFontMetrics metrics(Tree->font());
    int widest = 0;
    auto measure = [&](auto& self, QTreeWidgetItem* item, int depth) -> void {
        // The root rows are indented too, by their expand marks.
        const int indent = (depth + (Tree->rootIsDecorated() ? 1 : 0)) * Tree->indentation();
        widest = std::max(widest, indent + metrics.horizontalAdvance(item->text(0)));
        for (int i = 0; i < item->childCount(); ++i) self(self, item->child(i), depth + 1);
    };
    for (int i = 0; i < Tree->topLevelItemCount(); ++i) measure(measure, Tree->topLevelItem(i), 0);
    if (!nameColumnSet_) {
        fitting_ = true;
        Tree->setColumnWidth(0, widest + 16);
        fitting_ = false;
    }
    // The panel is never dragged so narrow that a drop-down cuts its longest value or a spin
    // box its arrows; it only grows, so that changing the selection never makes it jump.
    int values = kValueWidth;
    for (const RowState& r : rows_)
        if (r.editor)
            values = std::max(values, qobject_cast<QComboBox*>(r.editor) ? r.editor->sizeHint().width()
                                                                         : r.editor->minimumSizeHint().width());
    const QMargins margins = widget()->layout()->contentsMargins();
    const int need = Tree->columnWidth(0) + values + Tree->verticalScrollBar()->sizeHint().width() +
                     2 * Tree->frameWidth() + margins.left() + margins.right();
    if (need > widget()->minimumWidth()) widget()->setMinimumWidth(need);
}

void TPropertyPanel::ApplyFilter() {
    const QString text = Filter->text().trimmed();
    auto show = [&](auto& self, QTreeWidgetItem* item) -> bool {
        bool any = text.isEmpty() || item->text(0).contains(text, Qt::CaseInsensitive);
        for (int i = 0; i < item->childCount(); ++i) any = self(self, item->child(i)) || any;
        item->setHidden(!any);
        return any;
    };
    for (int i = 0; i < Tree->topLevelItemCount(); ++i) show(show, Tree->topLevelItem(i));
    // A filter that finds folded rows shows them without the operator opening the group.
    if (more_ && !text.isEmpty() && !more_->isHidden()) {
        const QSignalBlocker quiet(Tree);
        more_->setExpanded(true);
    }
}

void TPropertyPanel::Refresh() {
    refreshPending_ = false;
    // Undo rebuilds widgets: a different widget in the same place needs new rows.
    const bool wantsWidget = page_ && page_->Selection && page_->Selection->Count() > 0;
    const QWidget* wanted = wantsWidget ? page_->Selection->Items[0].Control->Widget() : nullptr;
    if (!Target() || wanted != widget_.data() || Targets().size() != shownCount_) {
        Rebuild();
        return;
    }
    ShowHeading();
    for (const RowState& r : rows_)
        if (r.refresh) r.refresh();
}

PropValue TPropertyPanel::Current(const std::string& path) const {
    Persistent* target = Target();
    if (!target) return {};
    auto [info, owner] = FindPath(*target, path);
    if (!info) return {};
    return ShownValue({path, info, owner, 0});
}

bool TPropertyPanel::Differs(const std::string& path) const {
    const std::vector<Control*> targets = Targets();
    if (targets.size() < 2) return false;
    const PropValue first = Current(path);
    for (size_t i = 1; i < targets.size(); ++i) {
        auto [info, owner] = FindPath(*targets[i], path);
        if (info && !SameValue(ShownValue({path, info, owner, 0}), first)) return true;
    }
    return false;
}

void TPropertyPanel::AddRows(Persistent& object, QTreeWidgetItem* parent, bool editable) {
    const QString prefix = parent && !editable ? parent->data(0, kPathRole).toString() + "." : QString();
    std::vector<QTreeWidgetItem*> levels;
    std::vector<PropertyPath> paths = PropertyPaths(object);
    // The page's display time is what the operator sets on every page: first among its rows.
    if (!parent && &object == static_cast<Persistent*>(page_.data()))
        std::stable_partition(paths.begin(), paths.end(),
                              [](const PropertyPath& r) { return r.depth == 0 && r.path == "displaytime"; });
    // The folded group stands last; the other top rows go in above it.
    const bool fold = !parent && std::any_of(paths.begin(), paths.end(), Folded);
    if (fold) {
        more_ = new QTreeWidgetItem(Tree);
        more_->setText(0, U("事件、帮助与拖放"));
        more_->setToolTip(0, U("事件、帮助与拖放的属性，单击展开"));
        more_->setData(0, kPathRole, kMorePath);
        more_->setFirstColumnSpanned(true);
    }
    bool folded = false;
    for (const PropertyPath& row : paths) {
        if (row.depth == 0) folded = fold && Folded(row);
        QTreeWidgetItem* holder = row.depth == 0 ? (folded ? more_ : parent) : levels[row.depth - 1];
        QTreeWidgetItem* item = nullptr;
        if (holder) {
            item = new QTreeWidgetItem(holder);
        } else {
            item = new QTreeWidgetItem;
            Tree->insertTopLevelItem(more_ ? Tree->indexOfTopLevelItem(more_) : Tree->topLevelItemCount(), item);
        }
        const QString path = prefix + QString::fromStdString(row.path);
        item->setText(0, QString::fromLatin1(row.info->name.data(), int(row.info->name.size())));
        // A narrow name column cuts long names short: the whole path shows on hover.
        item->setToolTip(0, path);
        item->setData(0, kPathRole, path);
        levels.resize(row.depth + 1);
        levels[row.depth] = item;
        RowState state{path, item, nullptr, {}};
        const PropInfo& info = *row.info;
        if (info.kind == PropKind::Object) {
            const ClassInfo& nested = row.info->object(*row.owner)->Class();
            item->setText(1, "(" + QString::fromLatin1(nested.name.data(), int(nested.name.size())) + ")");
            if (editable) state.editor = MakeEditor(row, item, state.refresh);
        } else if (info.kind == PropKind::Collection) {
            Persistent* items = info.object(*row.owner);
            item->setText(1, U("(%1 项)").arg(static_cast<Collection*>(items)->Count()));
            rows_.push_back(state);
            AddCollectionItems(*items, item);
            continue;
        } else if (editable && !ReadOnlyKind(info)) {
            state.editor = MakeEditor(row, item, state.refresh);
        } else {
            const PropValue value = ShownValue(row);
            item->setText(1, PropertyText(info, value));
            item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
            if (editable) {
                const std::string p = row.path;
                state.refresh = [this, item, p, &info] { item->setText(1, PropertyText(info, Current(p))); };
            }
        }
        if (state.editor) {
            state.editor->setObjectName(path);
            Tree->setItemWidget(item, 1, state.editor);
        }
        rows_.push_back(std::move(state));
    }
}

void TPropertyPanel::AddCollectionItems(Persistent& collection, QTreeWidgetItem* parent) {
    auto& items = static_cast<Collection&>(collection);
    const QString path = parent->data(0, kPathRole).toString();
    for (int i = 0; i < items.Count(); ++i) {
        auto* item = new QTreeWidgetItem(parent);
        const QString itemPath = path + QString("[%1]").arg(i);
        item->setText(0, QString("[%1]").arg(i));
        item->setData(0, kPathRole, itemPath);
        rows_.push_back({itemPath, item, nullptr, {}});
        AddRows(items.Item(i), item, false);
    }
}

QWidget* TPropertyPanel::MakeEditor(const PropertyPath& row, QTreeWidgetItem* item, std::function<void()>& refresh) {
    const PropInfo& info = *row.info;
    const std::string path = row.path;
    const QString caption = U("属性 ") + QString::fromStdString(path);
    auto apply = [this, path, caption](PropValue v) { Apply(caption, {{path, std::move(v)}}); };
    QWidget* editor = nullptr;

    switch (info.kind) {
        case PropKind::Integer: {
            if (info.intNames == IntNames::Color) {
                auto* box = Compact(new QWidget);
                auto* layout = new QHBoxLayout(box);
                layout->setContentsMargins(0, 0, 0, 0);
                layout->setSpacing(2);
                auto* colors = Compact(new TColorBox(box));
                colors->setObjectName("Colors");
                auto* more = new QToolButton(box);
                more->setObjectName("More");
                more->setText("...");
                layout->addWidget(colors, 1);
                layout->addWidget(more);
                connect(colors, &TColorBox::Changed, this, [apply](TColor c) { apply(PropValue::Int(c)); });
                connect(more, &QToolButton::clicked, this, [this, apply, path] {
                    const std::uint32_t rgb = ColorToRGB(static_cast<TColor>(Current(path).i));
                    const QColor chosen =
                        QColorDialog::getColor(QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb)), this, U("颜色"));
                    if (chosen.isValid())
                        apply(PropValue::Int(chosen.red() | chosen.green() << 8 | chosen.blue() << 16));
                });
                refresh = [this, colors, path] {
                    const QSignalBlocker quiet(colors);
                    const auto c = static_cast<TColor>(Current(path).i);
                    colors->SetSelected(c);
                    colors->setToolTip(PropertyText(*FindPath(*Target(), path).first, PropValue::Int(c)));
                };
                editor = box;
            } else if (!IntegerNames(info.intNames).empty()) {
                auto* combo = Compact(new QComboBox);
                const auto names = IntegerNames(info.intNames);
                for (const auto& n : names)
                    combo->addItem(QString::fromLatin1(n.name.data(), int(n.name.size())), QVariant::fromValue<qlonglong>(n.value));
                connect(combo, &QComboBox::currentIndexChanged, this,
                        [combo, apply](int index) { apply(PropValue::Int(combo->itemData(index).toLongLong())); });
                refresh = [this, combo, path] {
                    const QSignalBlocker quiet(combo);
                    const qlonglong v = Current(path).i;
                    int index = combo->findData(QVariant::fromValue(v));
                    if (index < 0) {
                        combo->addItem(QString::number(v), QVariant::fromValue(v));
                        index = combo->count() - 1;
                    }
                    combo->setCurrentIndex(Differs(path) ? -1 : index);
                };
                editor = combo;
            } else if (info.minimum >= INT_MIN && info.maximum <= INT_MAX) {
                auto* spin = Compact(new QSpinBox);
                spin->setRange(static_cast<int>(info.minimum), static_cast<int>(info.maximum));
                spin->setKeyboardTracking(false);
                connect(spin, &QSpinBox::valueChanged, this, [apply](int v) { apply(PropValue::Int(v)); });
                BlankWhenMixed(spin, path, [spin] { return PropValue::Int(spin->value()); }, apply);
                refresh = [this, spin, path] {
                    const QSignalBlocker quiet(spin);
                    spin->setValue(static_cast<int>(Current(path).i));
                    if (Differs(path)) spin->clear();
                };
                editor = spin;
            } else {
                auto* spin = Compact(new QDoubleSpinBox);
                spin->setDecimals(0);
                spin->setRange(std::max<double>(info.minimum, -kWholeLimit), std::min<double>(info.maximum, kWholeLimit));
                spin->setKeyboardTracking(false);
                connect(spin, &QDoubleSpinBox::valueChanged, this,
                        [apply](double v) { apply(PropValue::Int(static_cast<std::int64_t>(v))); });
                BlankWhenMixed(spin, path, [spin] { return PropValue::Int(static_cast<std::int64_t>(spin->value())); }, apply);
                refresh = [this, spin, path] {
                    const QSignalBlocker quiet(spin);
                    spin->setValue(static_cast<double>(Current(path).i));
                    if (Differs(path)) spin->clear();
                };
                editor = spin;
            }
            break;
        }
        case PropKind::Enum:
            if (info.names == &kBooleanNames) {
                auto* check = Compact(new QCheckBox);
                connect(check, &QCheckBox::toggled, this, [apply](bool on) { apply(PropValue::Int(on ? 1 : 0)); });
                refresh = [this, check, path] {
                    const QSignalBlocker quiet(check);
                    check->setChecked(Current(path).i != 0);
                    check->setText(Differs(path) ? QString() : check->isChecked() ? "True" : "False");
                };
                editor = check;
            } else {
                auto* combo = Compact(new QComboBox);
                if (info.names)
                    for (const NameEntry& e : info.names->entries)
                        combo->addItem(QString::fromLatin1(e.name.data(), int(e.name.size())), QVariant::fromValue<qlonglong>(e.value));
                connect(combo, &QComboBox::currentIndexChanged, this,
                        [combo, apply](int index) { apply(PropValue::Int(combo->itemData(index).toLongLong())); });
                refresh = [this, combo, path] {
                    const QSignalBlocker quiet(combo);
                    combo->setCurrentIndex(
                        Differs(path) ? -1 : combo->findData(QVariant::fromValue<qlonglong>(Current(path).i)));
                };
                editor = combo;
            }
            break;
        case PropKind::Set: {
            // The row sums the set up; each element is a check box of its own below it.
            if (!info.names) break;
            std::vector<std::function<void()>> parts;
            parts.push_back([this, item, path, &info] { item->setText(1, PropertyText(info, Current(path))); });
            for (const NameEntry& e : info.names->entries) {
                auto* element = new QTreeWidgetItem(item);
                const QString name = QString::fromLatin1(e.name.data(), int(e.name.size()));
                const QString elementPath = QString::fromStdString(path) + "[" + name + "]";
                element->setText(0, name);
                element->setData(0, kPathRole, elementPath);
                auto* check = Compact(new QCheckBox);
                check->setObjectName(elementPath);
                const std::int64_t bit = Bit(static_cast<int>(e.value));
                connect(check, &QCheckBox::toggled, this, [this, apply, path, bit](bool on) {
                    const std::int64_t now = Current(path).i;
                    apply(PropValue::Int(on ? now | bit : now & ~bit));
                });
                Tree->setItemWidget(element, 1, check);
                auto partRefresh = [this, check, path, bit] {
                    const QSignalBlocker quiet(check);
                    check->setChecked(Current(path).i & bit);
                };
                rows_.push_back({elementPath, element, check, {}});
                parts.push_back(std::move(partRefresh));
            }
            // The set's own row has no editor: its elements are the editors.
            refresh = [parts] {
                for (const auto& part : parts) part();
            };
            refresh();
            return nullptr;
        }
        case PropKind::String: {
            auto* line = Compact(new QLineEdit);
            connect(line, &QLineEdit::editingFinished, this, [this, line, apply, path] {
                const std::string text = Gbk(line->text());
                // A blank row over differing values changes them only once the operator typed.
                if (Differs(path) ? line->isModified() : text != Current(path).s) apply(PropValue::Str(text));
                line->setModified(false);
            });
            refresh = [this, line, path] {
                const QSignalBlocker quiet(line);
                line->setText(Differs(path) ? QString() : Q(Current(path).s));
                line->setModified(false);
            };
            editor = line;
            break;
        }
        case PropKind::Float: {
            auto* spin = Compact(new QDoubleSpinBox);
            spin->setDecimals(6);
            spin->setRange(-1e15, 1e15);
            spin->setKeyboardTracking(false);
            connect(spin, &QDoubleSpinBox::valueChanged, this, [apply](double v) { apply(PropValue::Real(v)); });
            BlankWhenMixed(spin, path, [spin] { return PropValue::Real(spin->value()); }, apply);
            refresh = [this, spin, path] {
                const QSignalBlocker quiet(spin);
                spin->setValue(Current(path).f);
                if (Differs(path)) spin->clear();
            };
            editor = spin;
            break;
        }
        case PropKind::Strings: {
            auto* button = Compact(new QPushButton);
            const QString title = QString::fromStdString(path);
            connect(button, &QPushButton::clicked, this, [this, apply, path, title] {
                if (auto lines = EditLines(this, title, Current(path).lines)) apply(PropValue::List(std::move(*lines)));
            });
            refresh = [this, button, path] { button->setText(U("(%1 行) 编辑...").arg(Current(path).lines.size())); };
            editor = button;
            break;
        }
        case PropKind::Object: {
            // A font opens the font dialog; its values stay editable one by one below it.
            if (&row.info->object(*row.owner)->Class() != &TFont::StaticClass()) return nullptr;
            auto* button = Compact(new QPushButton);
            auto font = [this, path]() -> TFont* {
                auto [info, owner] = FindPath(*Target(), path);
                return info ? static_cast<TFont*>(info->object(*owner)) : nullptr;
            };
            connect(button, &QPushButton::clicked, this, [this, font, path, caption] {
                TFont* now = font();
                if (!now) return;
                TFontDialog dialog(this);
                dialog.Font = *now;
                if (!dialog.Execute()) return;
                std::vector<std::pair<std::string, PropValue>> values;
                for (const PropertyPath& part : PropertyPaths(dialog.Font))
                    if (part.info->name != "Size" && part.info->get && part.info->set)
                        values.emplace_back(path + "." + part.path, part.info->get(*part.owner));
                Apply(caption, values);
            });
            refresh = [button, font] {
                if (TFont* f = font()) button->setText(Q(f->Name()) + ", " + QString::number(f->Size()) + "...");
            };
            editor = button;
            break;
        }
        default: break;
    }
    if (editor && refresh) refresh();
    return editor;
}

void TPropertyPanel::BlankWhenMixed(QAbstractSpinBox* spin, const std::string& path, std::function<PropValue()> value,
                                    std::function<void(PropValue)> apply) {
    // A blank box left with the first widget's value typed in changes no value of its own, yet
    // the operator means it for every selected widget.
    connect(spin, &QAbstractSpinBox::editingFinished, this, [this, spin, path, value, apply] {
        if (Differs(path) && !spin->text().isEmpty()) apply(value());
    });
}

void TPropertyPanel::Apply(const QString& caption, const std::vector<std::pair<std::string, PropValue>>& values) {
    Guarded([&] {
        Persistent* target = Target();
        if (!target || !page_ || !page_->History || !editable_) return;
        TPageHistory& history = *page_->History;
        std::vector<Persistent*> targets;
        for (Control* c : Targets()) targets.push_back(c);
        if (targets.empty()) targets.push_back(target);
        // Each selected widget whose class has the property takes the value.
        auto setAll = [&] {
            for (Persistent* t : targets)
                for (const auto& [path, value] : values) {
                    auto [info, owner] = FindPath(*t, path);
                    if (info && info->set) info->set(*owner, value);
                }
        };
        if (!widget_) {
            PropertyValues before = history.TakePage();
            struct Record {
                TPageHistory& history;
                TFrmZorLedForm& page;
                const QString& caption;
                PropertyValues before;
                ~Record() {
                    page.Changed();
                    Guarded([this] { history.RecordPage(caption, std::move(before), history.TakePage()); });
                }
            } record{history, *page_, caption, std::move(before)};
            setAll();
        } else {
            const std::vector<Control*> controls = Targets();
            history.Begin(controls, caption);
            struct End {
                TPageHistory& history;
                const std::vector<Control*>& controls;
                ~End() {
                    for (Control* c : controls) c->Changed();
                    Guarded([this] { history.End(); });
                }
            } end{history, controls};
            setAll();
        }
        page_->LayoutAllGrips();
    });
    Schedule(false);
}

}  // namespace zl
