#include "core/U_TreelistModel.h"

#include "core/U_TreelistFormat.h"
#include "core/U_TreelistProbe.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

int gMergeNumber = 0; // process-wide: merge items are numbered for as long as the process runs

// The folder part of a path as written, with its trailing '/'.
QString FolderPart(const QString& path) {
    return path.chopped(QFileInfo(path).fileName().size());
}

// The file-name part's extension with its dot; empty when it has none.
QString ExtensionPart(const QString& path) {
    const QFileInfo file(path);
    return file.fileName().mid(file.completeBaseName().size());
}

QString WithoutExtension(const QString& path) {
    return path.chopped(ExtensionPart(path).size());
}

// A merge member converts its source's input with the source's settings at the source's own
// size; its row's name, profile and the edit window's drawing stay with the source.
TFileOption MergeMemberOf(const TFileOption& source) {
    TFileOption member = source;
    member.OutputFrameSize = source.SourceFrameSize;
    member.CropViewRect = {};
    member.IsMerge = false;
    member.DisplayName.clear();
    member.FormatIndex = 0;
    return member;
}

} // namespace

TJobList::TJobList(QObject* parent) : QAbstractItemModel(parent) {}

TJobList::~TJobList() = default;

int TJobList::MergeNumber() {
    return gMergeNumber;
}

void TJobList::SetRowIcons(const std::array<QIcon, RowIconCount>& icons) {
    FIcons = icons;
    if (!FRows.empty())
        emit dataChanged(index(0, ColInput), index(TopLevelCount() - 1, ColInput),
                         {Qt::DecorationRole});
}

// --- Tree plumbing -----------------------------------------------------------------------

int TJobList::RowNumber(const TJobRow* row) const {
    const auto& siblings = row->Parent ? row->Parent->Children : FRows;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == row)
            return static_cast<int>(i);
    }
    return -1;
}

QModelIndex TJobList::IndexOf(const TJobRow* row, int column) const {
    if (row == nullptr)
        return {};
    return createIndex(RowNumber(row), column, const_cast<TJobRow*>(row));
}

TJobRow* TJobList::RowAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TJobRow*>(index.internalPointer()) : nullptr;
}

std::vector<TJobRow*> TJobList::AllRows() const {
    std::vector<TJobRow*> rows;
    for (const auto& top : FRows) {
        rows.push_back(top.get());
        for (const auto& child : top->Children)
            rows.push_back(child.get());
    }
    return rows;
}

TJobRow* TJobList::AppendRow(TJobRow* parent, std::unique_ptr<TJobRow> row) {
    auto& siblings = parent ? parent->Children : FRows;
    const int position = static_cast<int>(siblings.size());
    beginInsertRows(IndexOf(parent), position, position);
    row->Parent = parent;
    siblings.push_back(std::move(row));
    endInsertRows();
    return siblings.back().get();
}

void TJobList::DeleteRow(TJobRow* row) {
    if (FFocused == row || (FFocused != nullptr && FFocused->Parent == row))
        FFocused = nullptr;
    auto& siblings = row->Parent ? row->Parent->Children : FRows;
    const int position = RowNumber(row);
    beginRemoveRows(IndexOf(row->Parent), position, position);
    siblings.erase(siblings.begin() + position);
    endRemoveRows();
}

void TJobList::RowChanged(const TJobRow* row) {
    emit dataChanged(IndexOf(row, 0), IndexOf(row, ColumnCount - 1));
}

void TJobList::ItemChanged(const TJobRow* row) {
    if (RowNumber(row) >= 0)
        RowChanged(row);
}

void TJobList::Clear() {
    beginResetModel();
    FRows.clear();
    FFocused = nullptr;
    endResetModel();
}

// --- Operations ---------------------------------------------------------------------------

bool TJobList::AddSourceFile(const QString& path, TCustomDecoder& decoder,
                             const QString& outputFolder, QString* reason) {
    const std::optional<TSourceFacts> facts = ProbeSourceFile(path, decoder, reason);
    if (!facts)
        return false;
    auto row = std::make_unique<TJobRow>();
    TFileOption& item = row->Item;
    InitInputOptions(item.InputOptions);
    InitOutputOptions(item.OutputOptions);
    item.InputOptions.FileName = facts->FileName;
    item.Duration = facts->Duration;
    item.FileSize = facts->FileSize;
    item.OutputOptions.FileName =
        MakeUniqueOutputName(outputFolder + QFileInfo(path).fileName(), QStringLiteral("flv"),
                             QStringLiteral("_"), nullptr, facts->FileName);
    SetItemDefaults(item, facts->FrameSize);
    row->Checked = true;
    TJobRow* added = AppendRow(nullptr, std::move(row));

    DeselectAll();
    added->Selected = true;
    FFocused = added;
    emit SelectionChangedHere();
    emit SourceAdded(IndexOf(added));
    return true;
}

bool TJobList::IsOutputNameUsed(const QString& path, const TJobRow* ignore,
                                const QString& source) const {
    // A source file's name is taken too, also the renamed row's own: no output may be
    // written over a file being read.
    const QString clean = QDir::cleanPath(path);
    if (!source.isEmpty() && QDir::cleanPath(source) == clean)
        return true;
    for (const TJobRow* row : AllRows()) {
        if (row != ignore && row->Item.OutputOptions.FileName == path)
            return true;
        if (!row->Item.IsMerge && QDir::cleanPath(row->Item.InputOptions.FileName) == clean)
            return true;
    }
    return false;
}

QString TJobList::MakeUniqueOutputName(const QString& path, const QString& extension,
                                       const QString& separator, const TJobRow* ignore,
                                       const QString& source) const {
    const QString base = WithoutExtension(path);
    QString candidate = base + QLatin1Char('.') + extension;
    for (int n = 1; IsOutputNameUsed(candidate, ignore, source); ++n)
        candidate = base + separator + QString::number(n) + QLatin1Char('.') + extension;
    return candidate;
}

void TJobList::ChangeOutputFolder(const QString& folder) {
    for (const auto& top : FRows) {
        TOutputOptions& output = top->Item.OutputOptions;
        output.FileName = folder + QFileInfo(output.FileName).fileName();
        RowChanged(top.get());
        if (top->Item.IsMerge)
            continue; // only the merge item's own output is ever written
        for (const auto& clip : top->Children) {
            clip->Item.OutputOptions.FileName =
                folder + QFileInfo(clip->Item.OutputOptions.FileName).fileName();
            RowChanged(clip.get());
        }
    }
}

void TJobList::SetChecked(TJobRow* row, bool checked) {
    if (row->Checked == checked)
        return;
    row->Checked = checked;
    RowChanged(row);
}

void TJobList::SetAllChecked(bool checked) {
    for (TJobRow* row : AllRows())
        SetChecked(row, checked);
}

bool TJobList::HasCheckedItem() const {
    const auto rows = AllRows();
    return std::any_of(rows.begin(), rows.end(), [](const TJobRow* row) { return row->Checked; });
}

TJobRow* TJobList::GetSelectedItem() const {
    TJobRow* child = nullptr;
    for (const auto& top : FRows) {
        if (top->Selected)
            return top.get();
        for (const auto& row : top->Children) {
            if (row->Selected) {
                child = row.get();
                break;
            }
        }
    }
    return child;
}

TJobRow* TJobList::GetClipOwner() const {
    if (FFocused == nullptr)
        return nullptr;
    return FFocused->Parent ? FFocused->Parent : FFocused;
}

void TJobList::SetFocused(TJobRow* row) {
    FFocused = row;
}

void TJobList::SetSelected(TJobRow* row, bool selected) {
    row->Selected = selected;
}

int TJobList::SelectedCount() const {
    const auto rows = AllRows();
    return static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [](const TJobRow* row) { return row->Selected; }));
}

void TJobList::DeselectAll() {
    for (TJobRow* row : AllRows())
        row->Selected = false;
    emit SelectionChangedHere();
}

void TJobList::RemoveSelectedItems() {
    // Merge items that stay lose what is removed of them.
    for (const auto& top : FRows) {
        if (!top->Item.IsMerge || top->Selected || top->Children.empty())
            continue;
        for (const auto& member : top->Children) {
            if (member->Selected)
                top->Item.Duration -= member->Item.Duration;
        }
        if (!top->Children.front()->Selected)
            continue;
        const auto next = std::find_if(top->Children.begin() + 1, top->Children.end(),
                                       [](const auto& member) { return !member->Selected; });
        if (next == top->Children.end()) {
            top->Selected = true; // every member goes: the merge item goes with them
        } else {
            top->Item.InputOptions = (*next)->Item.InputOptions;
            top->Item.OutputOptions.FrameSize = (*next)->Item.OutputOptions.FrameSize;
        }
        RowChanged(top.get());
    }
    // Chosen before anything goes: views may rewrite the selected flags while rows are removed.
    std::vector<TJobRow*> doomed;
    for (size_t t = FRows.size(); t-- > 0;) {
        TJobRow* top = FRows[t].get();
        if (top->Selected) {
            doomed.push_back(top);
            continue;
        }
        for (size_t c = top->Children.size(); c-- > 0;) {
            if (top->Children[c]->Selected)
                doomed.push_back(top->Children[c].get());
        }
    }
    for (TJobRow* row : doomed)
        DeleteRow(row);
    emit SelectionChangedHere();
}

std::vector<const TJobRow*> TJobList::CollectMergeSources() {
    std::vector<const TJobRow*> sources;
    for (const auto& top : FRows) {
        if (top->Item.IsMerge) {
            if (top->Selected) {
                for (const auto& member : top->Children)
                    sources.push_back(member.get());
            }
            continue;
        }
        if (top->Selected) {
            sources.push_back(top.get());
            SetChecked(top.get(), false); // converted within the merge, no longer on its own
        }
        for (const auto& clip : top->Children) {
            if (clip->Selected)
                sources.push_back(clip.get());
        }
    }
    return sources;
}

void TJobList::LoadClipList(const TJobRow* owner) {
    ClipList().clear();
    if (owner == nullptr)
        return;
    for (const auto& child : owner->Children) {
        TClipFile clip;
        clip.ClipName = child->Item.DisplayName;
        clip.StartTime = child->Item.InputOptions.StartTime;
        clip.ClipDuration = child->Item.OutputOptions.Duration;
        clip.EndTime = clip.StartTime + clip.ClipDuration;
        clip.SourceFrameSize = child->Item.SourceFrameSize;
        clip.OutputFrameSize = child->Item.OutputFrameSize;
        clip.FormatIndex = child->Item.FormatIndex;
        clip.OutputOptions = child->Item.OutputOptions;
        ClipList().append(clip);
    }
}

void TJobList::CommitClipList(const QString& outputFolder) {
    TJobRow* owner = GetClipOwner();
    if (owner == nullptr || ClipList().isEmpty())
        return;
    int index = 0;
    for (TClipFile& entry : ClipList()) {
        if (index < static_cast<int>(owner->Children.size())) {
            TFileOption& child = owner->Children[index]->Item;
            child.Duration = entry.ClipDuration;
            child.FormatIndex = entry.FormatIndex;
            child.SourceFrameSize = entry.SourceFrameSize;
            child.OutputFrameSize = entry.OutputFrameSize;
            entry.OutputOptions.FileName = child.OutputOptions.FileName; // the child keeps its name
            child.OutputOptions = entry.OutputOptions;
            child.InputOptions.StartTime = entry.StartTime;
            child.OutputOptions.Duration = entry.ClipDuration;
            RowChanged(owner->Children[index].get());
        } else {
            auto row = std::make_unique<TJobRow>();
            TFileOption& clip = row->Item;
            clip.InputOptions = owner->Item.InputOptions;
            clip.InputOptions.StartTime = entry.StartTime;
            InitOutputOptions(clip.OutputOptions);
            clip.OutputOptions.Duration = entry.ClipDuration;
            clip.Duration = entry.ClipDuration;
            clip.DisplayName = entry.ClipName;
            clip.OutputOptions.FileName = MakeUniqueOutputName(
                outputFolder + QFileInfo(owner->Item.InputOptions.FileName).fileName(),
                QStringLiteral("flv"), QStringLiteral("_"), nullptr);
            clip.FileSize = 0;
            SetItemDefaults(clip, owner->Item.SourceFrameSize);
            row->Checked = true;
            AppendRow(owner, std::move(row));
            emit ExpandRequested(IndexOf(owner));
        }
        ++index;
    }
    if (index < static_cast<int>(owner->Children.size()))
        DeleteChildrenFrom(owner->Children[index].get(), true);
    ClipList().clear();
    SetChecked(owner, false); // its clips are converted instead of the whole file
}

void TJobList::DeleteChildrenFrom(TJobRow* child, bool includeIt) {
    TJobRow* parent = child->Parent;
    if (parent == nullptr)
        return;
    const int from = RowNumber(child) + (includeIt ? 0 : 1);
    for (int i = static_cast<int>(parent->Children.size()) - 1; i >= from; --i)
        DeleteRow(parent->Children[i].get());
}

bool TJobList::Rename(TJobRow* row, const QString& text) {
    if (text.isEmpty() || !row->Checked)
        return false;
    const QString current = row->Item.OutputOptions.FileName;
    const QString extension = ExtensionPart(current);
    const QString candidate = FolderPart(current) + text + extension;
    const QString renamed =
        MakeUniqueOutputName(candidate, extension.mid(1), QStringLiteral("_"), row);
    if (renamed == current)
        return false;
    row->Item.OutputOptions.FileName = renamed;
    RowChanged(row);
    return true;
}

TJobRow* TJobList::MergeSelected(const QString& outputFolder) {
    if (SelectedCount() < 2)
        return nullptr;
    std::vector<TFileOption> sources;
    for (const TJobRow* row : CollectMergeSources())
        sources.push_back(row->Item);
    DeselectAll();

    auto row = std::make_unique<TJobRow>();
    TFileOption& merge = row->Item;
    InitInputOptions(merge.InputOptions);
    InitOutputOptions(merge.OutputOptions);
    SetItemDefaults(merge, QString());
    merge.OutputOptions.Join = true;
    merge.OutputOptions.FileName =
        MakeUniqueOutputName(outputFolder + QStringLiteral("Merge.flv"), QStringLiteral("flv"),
                             QStringLiteral("_"), nullptr);
    merge.DisplayName = QStringLiteral("Merge_%1.flv").arg(++gMergeNumber);
    merge.Duration = 0;
    merge.IsMerge = true;
    row->Checked = true;
    TJobRow* added = AppendRow(nullptr, std::move(row));

    for (size_t i = 0; i < sources.size(); ++i) {
        const TFileOption& source = sources[i];
        auto member = std::make_unique<TJobRow>();
        member->Item = MergeMemberOf(source);
        AppendRow(added, std::move(member));
        added->Item.Duration += source.Duration;
        if (i == 0) {
            added->Item.SourceFrameSize = source.SourceFrameSize;
            added->Item.OutputFrameSize = source.SourceFrameSize;
            added->Item.InputOptions = source.InputOptions;
        }
    }
    RowChanged(added);
    added->Selected = true;
    FFocused = added;
    emit ExpandRequested(IndexOf(added));
    emit SelectionChangedHere();
    return added;
}

// --- QAbstractItemModel -------------------------------------------------------------------

QModelIndex TJobList::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    const TJobRow* parentRow = RowAt(parent);
    const auto& siblings = parentRow ? parentRow->Children : FRows;
    if (row >= static_cast<int>(siblings.size()))
        return {};
    return createIndex(row, column, siblings[row].get());
}

QModelIndex TJobList::parent(const QModelIndex& child) const {
    const TJobRow* row = RowAt(child);
    return row != nullptr ? IndexOf(row->Parent) : QModelIndex();
}

int TJobList::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const TJobRow* row = RowAt(parent);
    return static_cast<int>(row ? row->Children.size() : FRows.size());
}

int TJobList::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QString TJobList::ColumnText(const TJobRow* row, int column) const {
    const TFileOption& item = row->Item;
    switch (column) {
    case ColInput:
        return item.DisplayName.isEmpty() ? QFileInfo(item.InputOptions.FileName).fileName()
                                          : item.DisplayName;
    case ColFileSize:
        return item.IsMerge || item.FileSize == 0 ? QStringLiteral("-")
                                                  : FormatFileSize(item.FileSize);
    case ColTotalTime:
        return item.Duration >= 0 ? FormatSeconds(item.Duration / 1000000) : QString();
    case ColOutputName:
        return row->Checked ? QFileInfo(item.OutputOptions.FileName).fileName() : QString();
    default: return {};
    }
}

QVariant TJobList::data(const QModelIndex& index, int role) const {
    const TJobRow* row = RowAt(index);
    if (row == nullptr)
        return {};
    switch (role) {
    case Qt::DisplayRole: return ColumnText(row, index.column());
    case Qt::EditRole:
        if (index.column() == ColOutputName)
            return WithoutExtension(QFileInfo(row->Item.OutputOptions.FileName).fileName());
        return ColumnText(row, index.column());
    case Qt::CheckStateRole:
        if (index.column() == ColInput)
            return row->Checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::DecorationRole:
        if (index.column() != ColInput)
            return {};
        if (row->IsTopLevel())
            return FIcons[row->Item.IsMerge ? riMergeItem : riPlainItem];
        return FIcons[row->IsMergeMember() ? riPlainItem : riClip];
    case Qt::ToolTipRole:
        if (index.column() == ColInput)
            return ColumnText(row, ColInput);
        if (index.column() == ColOutputName && row->Checked)
            return QFileInfo(row->Item.OutputOptions.FileName).fileName();
        return {};
    default: return {};
    }
}

bool TJobList::setData(const QModelIndex& index, const QVariant& value, int role) {
    TJobRow* row = RowAt(index);
    if (row == nullptr)
        return false;
    if (role == Qt::CheckStateRole && index.column() == ColInput) {
        SetChecked(row, value.toInt() == Qt::Checked);
        return true;
    }
    if (role == Qt::EditRole && index.column() == ColOutputName)
        return Rename(row, value.toString());
    return false;
}

Qt::ItemFlags TJobList::flags(const QModelIndex& index) const {
    const TJobRow* row = RowAt(index);
    if (row == nullptr)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ColInput)
        flags |= Qt::ItemIsUserCheckable;
    if (index.column() == ColOutputName && row->Checked)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant TJobList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Input", "File Size", "Total Time", "Output Name"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section])
                                                 : QVariant();
}
