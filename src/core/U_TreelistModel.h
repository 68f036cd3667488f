#pragma once

// The job list: an ordered two-level tree of job items (plain items with their clips, merge
// items with their members), each row with a check box and a selected flag, shown by the main
// window's list with four columns. Every list operation of the application lives here, so
// windows only show it and tests drive it without a window. Main thread only.

#include "core/U_Treelist.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <array>
#include <memory>
#include <vector>

class TCustomDecoder;

struct TJobRow {
    TFileOption Item;
    bool Checked = true;
    bool Selected = false;
    TJobRow* Parent = nullptr;
    std::vector<std::unique_ptr<TJobRow>> Children;

    bool IsTopLevel() const { return Parent == nullptr; }
    bool IsClip() const { return Parent != nullptr && !Parent->Item.IsMerge; }
    bool IsMergeMember() const { return Parent != nullptr && Parent->Item.IsMerge; }
};

class TJobList : public QAbstractItemModel {
    Q_OBJECT

public:
    enum TColumn { ColInput, ColFileSize, ColTotalTime, ColOutputName, ColumnCount };

    explicit TJobList(QObject* parent = nullptr);
    ~TJobList() override;

    // --- Rows ------------------------------------------------------------------------------
    int TopLevelCount() const { return static_cast<int>(FRows.size()); }
    TJobRow* TopLevel(int index) const { return FRows.at(index).get(); }
    QModelIndex IndexOf(const TJobRow* row, int column = 0) const;
    TJobRow* RowAt(const QModelIndex& index) const;
    // Every row in list order, each top-level row followed by its children.
    std::vector<TJobRow*> AllRows() const;
    void Clear();

    // --- The operations of the job list ----------------------------------------------------
    // Probes the file and appends a checked row with the new-item settings and a unique FLV
    // output name in `outputFolder` (ending with '/'). False (with the decoder's reason in
    // `reason`, and two error lines in the activity log) when the file cannot be opened.
    bool AddSourceFile(const QString& path, TCustomDecoder& decoder, const QString& outputFolder,
                       QString* reason = nullptr);
    // `path` with `extension`, numbered with `separator` and 1, 2, … while the name is used:
    // the output of another row than `ignore`, the source of any item, or `source` (that of
    // an item not in the list yet).
    QString MakeUniqueOutputName(const QString& path, const QString& extension,
                                 const QString& separator, const TJobRow* ignore,
                                 const QString& source = {}) const;
    bool IsOutputNameUsed(const QString& path, const TJobRow* ignore,
                          const QString& source = {}) const;
    void ChangeOutputFolder(const QString& folder);
    void SetAllChecked(bool checked);
    void SetChecked(TJobRow* row, bool checked);
    bool HasCheckedItem() const;
    TJobRow* GetSelectedItem() const;
    TJobRow* GetClipOwner() const;
    TJobRow* Focused() const { return FFocused; }
    void SetFocused(TJobRow* row);
    void SetSelected(TJobRow* row, bool selected);
    int SelectedCount() const;
    void DeselectAll();
    void RemoveSelectedItems();
    // The rows a merge is made of, in order; plain items taken whole are unchecked.
    std::vector<const TJobRow*> CollectMergeSources();
    void LoadClipList(const TJobRow* owner);
    // The clip window's OK: ClipList becomes the clip children of the clip owner, which is
    // unchecked; new clips get unique names in `outputFolder`.
    void CommitClipList(const QString& outputFolder);
    void DeleteChildrenFrom(TJobRow* child, bool includeIt);
    // The rename rule of column "Output Name". True when the name changed.
    bool Rename(TJobRow* row, const QString& text);
    // Builds a merge item of the selected rows at the end of the list and selects it; none
    // when fewer than two rows are selected.
    TJobRow* MergeSelected(const QString& outputFolder);
    static int MergeNumber();

    enum TRowIcon { riPlainItem, riMergeItem, riClip, RowIconCount };
    // The pictures of the first column, in TRowIcon order.
    void SetRowIcons(const std::array<QIcon, RowIconCount>& icons);

    // --- QAbstractItemModel ----------------------------------------------------------------
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QString ColumnText(const TJobRow* row, int column) const;

    // Tells the views that a row's item was changed from outside the list (nothing for a row
    // that is not in it).
    void ItemChanged(const TJobRow* row);

signals:
    // The model changed which rows are selected or focused; views follow.
    void SelectionChangedHere();
    // A row was added for a source file; the window readies its preview.
    void SourceAdded(const QModelIndex& index);
    // The row's children should be shown.
    void ExpandRequested(const QModelIndex& index);

private:
    TJobRow* AppendRow(TJobRow* parent, std::unique_ptr<TJobRow> row);
    void DeleteRow(TJobRow* row);
    void RowChanged(const TJobRow* row);
    int RowNumber(const TJobRow* row) const;

    std::vector<std::unique_ptr<TJobRow>> FRows;
    TJobRow* FFocused = nullptr;
    std::array<QIcon, RowIconCount> FIcons;
};
