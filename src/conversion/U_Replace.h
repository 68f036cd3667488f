#pragma once

// The question asked before a batch replaces an existing output file, with five answers.

#include "core/U_ConvertingBatch.h"
#include "shell/SkinnedDialog.h"

class QLabel;

class TReplaceFrm : public TSkinnedDialog {
    Q_OBJECT

public:
    explicit TReplaceFrm(const QString& path, QWidget* parent = nullptr);

    // The answer of the button pressed; Cancel for the close box.
    TReplaceAnswer Answer() const { return FAnswer; }

    QLabel* lblFileName = nullptr;
    TPictureButton* btnYes = nullptr;
    TPictureButton* btnYesAll = nullptr;
    TPictureButton* btnNo = nullptr;
    TPictureButton* btnNotAll = nullptr;
    TPictureButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TReplaceAnswer FAnswer = TReplaceAnswer::Cancel;
};

// "whether you want to replace existing file'name'" with the name's quotes doubled.
QString ReplaceQuestionText(const QString& path);

// The text in two lines of `perLine` characters: a longer second line is cut and ends "...'".
QString FitReplaceQuestion(const QString& text, int perLine);

// None when the file does not exist; otherwise beeps and asks, above `parent` when given.
TReplaceAnswer AskReplace(const QString& path, QWidget* parent = nullptr);

// The conversion window's question: the real window, kept above the conversion window.
class TDialogReplaceQuestion : public IReplaceQuestion {
public:
    explicit TDialogReplaceQuestion(QWidget* parent) : FParent(parent) {}
    TReplaceAnswer AskReplace(const QString& path) override { return ::AskReplace(path, FParent); }

private:
    QWidget* FParent;
};
