#include "conversion/U_Replace.h"

#include "core/PromptService.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

QString ReplaceQuestionText(const QString& path) {
    QString name = QFileInfo(path).fileName();
    name.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QStringLiteral("whether you want to replace existing file'%1'").arg(name);
}

QString FitReplaceQuestion(const QString& text, int perLine) {
    if (perLine <= 3 || text.size() <= perLine)
        return text;
    QString rest = text.mid(perLine);
    if (rest.size() > perLine)
        rest = rest.left(perLine - 3) + QStringLiteral("...'");
    return text.left(perLine) + QLatin1Char('\n') + rest;
}

TReplaceFrm::TReplaceFrm(const QString& path, QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral("Information"), FrameSet | CaptionButtonSet) {
    setObjectName(QStringLiteral("ReplaceFrm"));
    auto* layout = new QVBoxLayout(Content());
    layout->setContentsMargins(18, 18, 18, 16);
    layout->setSpacing(0);
    lblFileName = new QLabel(QStringLiteral("Do you want to replace the existing file"), Content());
    lblFileName->setObjectName(QStringLiteral("lblFileName"));
    QFont font = lblFileName->font();
    font.setPixelSize(12);
    lblFileName->setFont(font);
    lblFileName->setFixedWidth(484);
    lblFileName->setFixedHeight(2 * lblFileName->fontMetrics().lineSpacing() + 4);
    lblFileName->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(lblFileName);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    const auto add = [&](const char* name, const QString& caption, TReplaceAnswer answer) {
        auto* button = new TPictureButton(QLatin1String(name), caption, Content());
        buttons->addWidget(button);
        connect(button, &QAbstractButton::clicked, this, [this, answer] {
            FAnswer = answer;
            accept();
        });
        return button;
    };
    btnYes = add("btnYes", QStringLiteral("Yes"), TReplaceAnswer::Yes);
    btnYesAll = add("btnYesAll", QStringLiteral("Yes to all"), TReplaceAnswer::YesToAll);
    btnNo = add("btnNo", QStringLiteral("No"), TReplaceAnswer::No);
    btnNotAll = add("btnNotAll", QStringLiteral("No to all"), TReplaceAnswer::NoToAll);
    btnCancel = add("btnCancel", QStringLiteral("Cancel"), TReplaceAnswer::Cancel);
    layout->addLayout(buttons);

    // Client area 520 × 180 inside the frame.
    Content()->setFixedSize(520, 180);
    adjustSize();
    setFixedSize(size());

    const int perLine = lblFileName->width() /
                        std::max(1, lblFileName->fontMetrics().horizontalAdvance(QLatin1Char('a')));
    lblFileName->setText(FitReplaceQuestion(ReplaceQuestionText(path), perLine));
    lblFileName->setToolTip(path);
    CentreOnDesktop(this);
}

void TReplaceFrm::showEvent(QShowEvent* event) {
    TSkinnedDialog::showEvent(event);
    btnYes->setFocus();
}

TReplaceAnswer AskReplace(const QString& path, QWidget* parent) {
    if (!QFileInfo::exists(path))
        return TReplaceAnswer::None;
    Prompts().Beep();
    TReplaceFrm question(path, parent);
    question.exec();
    return question.Answer();
}
