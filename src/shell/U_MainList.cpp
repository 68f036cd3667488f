#include "shell/U_MainList.h"

#include "core/U_TreelistModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

const QColor kBackground(48, 48, 48);
const QColor kGrid(64, 65, 67);
const QColor kSelection(32, 138, 222);
// The check box of a row: its outline stands out at least 3:1 from the row, selected or not.
const QColor kCheckOutline(0xc3, 0xca, 0xd5);
const QColor kCheckOutlineDisabled(0x8a, 0x91, 0x9e);
const QColor kCheckFill(0x20, 0x22, 0x26);
const QColor kFocusLine(0x8c, 0xc8, 0xff);

// A check box drawn by the list itself, readable on the dark rows.
void PaintCheckBox(QPainter* painter, const QRect& box, Qt::CheckState state, bool selected,
                   bool enabled) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(box).adjusted(1.5, 1.5, -1.5, -1.5);
    const bool checked = state != Qt::Unchecked;
    const QColor outline =
        !enabled ? kCheckOutlineDisabled : (selected ? QColor(Qt::white) : kCheckOutline);
    painter->setPen(QPen(outline, 1.5));
    painter->setBrush(checked && enabled ? kSelection : kCheckFill);
    painter->drawRoundedRect(frame, 2, 2);
    if (checked) {
        painter->setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF tick[] = {
            {frame.left() + frame.width() * 0.22, frame.center().y()},
            {frame.left() + frame.width() * 0.43, frame.bottom() - frame.height() * 0.25},
            {frame.right() - frame.width() * 0.2, frame.top() + frame.height() * 0.25}};
        painter->drawPolyline(tick, 3);
    }
    painter->restore();
}

// Header cells: a one-pixel-wide picture stretched over the cell, a line inside its right edge.
class TJobListHeader : public QHeaderView {
public:
    explicit TJobListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        setFixedHeight(20);
        setSectionsMovable(false);
        setHighlightSections(false);
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // The strip right of the last column.
        setStyleSheet(QStringLiteral("QHeaderView { background: #33373f; border: none; }"));
        QImage strip(1, 20, QImage::Format_RGB32);
        for (int y = 0; y < 20; ++y)
            strip.setPixelColor(0, y, QColor(0x3c + y, 0x40 + y, 0x48 + y).darker(110 + y * 2));
        FStrip = QPixmap::fromImage(strip);
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int section) const override {
        painter->save();
        painter->drawPixmap(rect, FStrip);
        painter->setPen(kGrid);
        painter->drawLine(rect.right() - 1, rect.top(), rect.right() - 1, rect.bottom());
        painter->setPen(Qt::white);
        painter->drawText(rect.adjusted(6, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          model()->headerData(section, Qt::Horizontal).toString());
        painter->restore();
    }

private:
    QPixmap FStrip;
};

// Rows of 20 pixels, grid lines, the list's own check boxes, a line above and below the current
// row while the list has the focus (instead of the style's rectangle), and the rename editor.
class TJobListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 20);
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        // What QStyledItemDelegate::paint draws, without the focus rectangle, then our own
        // check box over the style's.
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        item.state &= ~QStyle::State_HasFocus;
        const QStyle* style = item.widget != nullptr ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
        if (item.features & QStyleOptionViewItem::HasCheckIndicator)
            PaintCheckBox(
                painter,
                style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, item.widget),
                item.checkState, option.state & QStyle::State_Selected,
                option.state & QStyle::State_Enabled);
        painter->save();
        painter->setPen(kGrid);
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        if ((option.state & QStyle::State_HasFocus) && item.widget != nullptr &&
            item.widget->hasFocus()) {
            painter->setPen(kFocusLine);
            painter->drawLine(option.rect.topLeft(), option.rect.topRight());
            painter->drawLine(option.rect.bottomLeft() - QPoint(0, 1),
                              option.rect.bottomRight() - QPoint(0, 1));
        }
        painter->restore();
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setObjectName(QStringLiteral("edtRename"));
        editor->setStyleSheet(QStringLiteral("color: black; background: white;"));
        // Characters a file name cannot hold are swallowed.
        editor->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[^\\\\/:*?\"<>|]*")), editor));
        return editor;
    }
};

} // namespace

TJobListView::TJobListView(TJobList& list, QWidget* parent) : QTreeView(parent), FList(list) {
    setObjectName(QStringLiteral("VSTFile"));
    setModel(&list);
    setHeader(new TJobListHeader(this));
    setItemDelegate(new TJobListDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setRootIsDecorated(true);
    setIndentation(14);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setIconSize(QSize(16, 16));
    header()->setStretchLastSection(false);
    const int widths[] = {220, 81, 81, 200};
    for (int column = 0; column < 4; ++column) {
        header()->setSectionResizeMode(column, QHeaderView::Interactive);
        setColumnWidth(column, widths[column]);
    }

    QPalette colours = palette();
    colours.setColor(QPalette::Base, kBackground);
    colours.setColor(QPalette::AlternateBase, kBackground);
    colours.setColor(QPalette::Text, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::white);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight, kSelection);
        colours.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    setPalette(colours);
    setStyleSheet(QStringLiteral("QTreeView { border: none; }"));
    QFont small = font(); // the desktop's sans font, at the list's 8 points
    small.setPointSizeF(8);
    setFont(small);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TJobListView::ViewSelectionChanged);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TJobListView::ViewSelectionChanged);
    connect(&list, &TJobList::SelectionChangedHere, this, &TJobListView::ModelSelectionChanged);
    connect(&list, &TJobList::ExpandRequested, this,
            [this](const QModelIndex& index) { expand(index); });
    connect(&list, &QAbstractItemModel::rowsRemoved, this, &TJobListView::ViewSelectionChanged);
    connect(&list, &QAbstractItemModel::modelReset, this, &TJobListView::ViewSelectionChanged);
}

void TJobListView::ViewSelectionChanged() {
    if (FSyncing)
        return;
    const QItemSelectionModel* selection = selectionModel();
    for (int t = 0; t < FList.TopLevelCount(); ++t) {
        TJobRow* top = FList.TopLevel(t);
        top->Selected = selection->isRowSelected(t, QModelIndex());
        const QModelIndex topIndex = FList.index(t, 0);
        for (size_t c = 0; c < top->Children.size(); ++c)
            top->Children[c]->Selected = selection->isRowSelected(int(c), topIndex);
    }
    FList.SetFocused(FList.RowAt(currentIndex()));
    emit SelectionUpdated();
}

void TJobListView::ModelSelectionChanged() {
    FSyncing = true;
    QItemSelection selection;
    const auto selectRow = [&](const QModelIndex& parent, int row) {
        selection.select(FList.index(row, 0, parent),
                         FList.index(row, TJobList::ColumnCount - 1, parent));
    };
    for (int t = 0; t < FList.TopLevelCount(); ++t) {
        const TJobRow* top = FList.TopLevel(t);
        if (top->Selected)
            selectRow(QModelIndex(), t);
        const QModelIndex topIndex = FList.index(t, 0);
        for (size_t c = 0; c < top->Children.size(); ++c) {
            if (top->Children[c]->Selected)
                selectRow(topIndex, int(c));
        }
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (TJobRow* focused = FList.Focused())
        selectionModel()->setCurrentIndex(FList.IndexOf(focused), QItemSelectionModel::NoUpdate);
    FSyncing = false;
    emit SelectionUpdated();
}

void TJobListView::StartRename(TJobRow* row) {
    if (row == nullptr || !row->Checked)
        return;
    // Posted, so that the click that asked is handled first; the row may be gone by then.
    const QPersistentModelIndex cell = FList.IndexOf(row, TJobList::ColOutputName);
    QTimer::singleShot(0, this, [this, cell] {
        if (cell.isValid())
            edit(cell);
    });
}

void TJobListView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    // Extra width (a larger or maximised window) goes to the two name columns, in proportion
    // to their widths; the user's own widths are kept otherwise.
    const int change = event->size().width() - event->oldSize().width();
    if (event->oldSize().width() <= 0 || change == 0)
        return;
    const int input = columnWidth(TJobList::ColInput);
    const int output = columnWidth(TJobList::ColOutputName);
    const int toInput = input + output > 0 ? change * input / (input + output) : change / 2;
    constexpr int kNarrowest = 60;
    setColumnWidth(TJobList::ColInput, std::max(kNarrowest, input + toInput));
    setColumnWidth(TJobList::ColOutputName, std::max(kNarrowest, output + change - toInput));
}

void TJobListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && FList.SelectedCount() > 0) {
        emit RemoveRequested();
        return;
    }
    if (event->key() == Qt::Key_F2) {
        if (FList.SelectedCount() == 1)
            emit RenameRequested();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TJobListView::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->modifiers() == Qt::NoModifier &&
        event->position().x() >= columnViewportPosition(3))
        StartRename(FList.RowAt(index));
}

void TJobListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TJobListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TJobListView::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    if (!files.isEmpty()) {
        event->acceptProposedAction();
        // The loading window runs its own loop: not inside the drop, which holds up the
        // file manager.
        QTimer::singleShot(0, this, [this, files] { emit FilesDropped(files); });
    }
}
