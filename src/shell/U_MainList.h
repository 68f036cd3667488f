#pragma once

// The job list as the main window shows it: dark rows with check boxes and icons, a header of
// pictures, full-row multiple selection that mirrors the model's selected flags, in-place
// renaming of "Output Name", Delete and F2, and files dropped from the file manager.

#include <QStringList>
#include <QTreeView>

class TJobList;
struct TJobRow;

class TJobListView : public QTreeView {
    Q_OBJECT

public:
    explicit TJobListView(TJobList& list, QWidget* parent = nullptr);

    TJobList& List() const { return FList; }
    // Starts the in-place edit of the row's "Output Name" (checked rows only).
    void StartRename(TJobRow* row);

signals:
    void RemoveRequested();
    void RenameRequested();
    void FilesDropped(const QStringList& files);
    // After the model's selected flags and focus have followed the view.
    void SelectionUpdated();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ViewSelectionChanged();
    void ModelSelectionChanged();

    TJobList& FList;
    bool FSyncing = false;
};
