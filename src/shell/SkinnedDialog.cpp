#include "shell/SkinnedDialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

namespace {

const QColor kFrame(0x1f, 0x24, 0x2e);
const QColor kTitleBar(0x27, 0x2d, 0x39);
constexpr int kTitleHeight = 32;
constexpr int kBorder = 6;

} // namespace

void ApplyRoundedCorners(QWidget* window, int radius) {
    if (window->isMaximized() || window->isFullScreen()) {
        window->clearMask();
        return;
    }
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, window->width() + 1, window->height() + 1), radius, radius);
    window->setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void CentreOnDesktop(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

TSkinnedDialog::TSkinnedDialog(QWidget* parent, const QString& title, int sets, bool movable)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), FSets(sets), FMovable(movable) {
    setWindowTitle(title);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    auto* topLeft = new TSkinImage(QStringLiteral("imgtleft"), kTitleBar, this);
    auto* topRight = new TSkinImage(QStringLiteral("imgtright"), kTitleBar, this);
    auto* titleBar = new TSkinImage(QStringLiteral("imgtCenter"), kTitleBar, this);
    for (TSkinImage* piece : {topLeft, topRight})
        piece->setFixedSize(kBorder, kTitleHeight);
    titleBar->setFixedHeight(kTitleHeight);
    auto* titleRow = new QHBoxLayout(titleBar);
    titleRow->setContentsMargins(4, 0, 2, 0);
    titleRow->setSpacing(6);
    auto* logo = new TSkinImage(QStringLiteral("imgLogo"), QColor(0xff, 0x8a, 0x1f), titleBar);
    logo->setFixedSize(16, 16);
    FTitle = new QLabel(title, titleBar);
    FTitle->setObjectName(QStringLiteral("lblTitle"));
    FTitle->setStyleSheet(
        QStringLiteral("color: #e8ebf0; font-weight: bold; background: transparent;"));
    FTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    titleRow->addWidget(logo);
    titleRow->addWidget(FTitle, 1);
    if (FSets & CaptionButtonSet) {
        auto* minimise = new TPictureButton(QStringLiteral("btnmin"), QString(), titleBar);
        auto* close = new TPictureButton(QStringLiteral("btnclose"), QString(), titleBar);
        minimise->setToolTip(QStringLiteral("Minimize"));
        close->setToolTip(QStringLiteral("Close"));
        for (TPictureButton* button : {minimise, close}) {
            button->setFixedSize(24, 20);
            // Out of the Tab order (the window manager's keys do this), but named for readers.
            button->setFocusPolicy(Qt::NoFocus);
            button->setAccessibleName(button->toolTip());
            titleRow->addWidget(button);
        }
        connect(minimise, &QAbstractButton::clicked, this, [] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible())
                    window->showMinimized();
            }
        });
        connect(close, &QAbstractButton::clicked, this, &QDialog::reject);
    }
    connect(titleBar, &TSkinImage::Pressed, this, [this, titleBar](QMouseEvent* event) {
        if (FMovable && event->button() == Qt::LeftButton && !isMaximized())
            titleBar->DragWindow(event);
    });

    auto* left = new TSkinImage(QStringLiteral("imgLTop"), kFrame, this);
    auto* right = new TSkinImage(QStringLiteral("imgRtop"), kFrame, this);
    auto* bottomLeft = new TSkinImage(QStringLiteral("imgLBottom"), kFrame, this);
    auto* bottomRight = new TSkinImage(QStringLiteral("imgRBottom"), kFrame, this);
    auto* bottom = new TSkinImage(QStringLiteral("imgBb"), kFrame, this);
    for (TSkinImage* piece : {left, right})
        piece->setFixedWidth(kBorder);
    for (TSkinImage* piece : {bottomLeft, bottomRight})
        piece->setFixedSize(kBorder, kBorder);
    bottom->setFixedHeight(kBorder);

    FContent = new QWidget(this);
    FContent->setObjectName(QStringLiteral("pnlClient"));
    FContent->setAutoFillBackground(true);
    QPalette palette = FContent->palette();
    palette.setColor(QPalette::Window, QColor(0x2b, 0x30, 0x3a));
    palette.setColor(QPalette::WindowText, QColor(0xe8, 0xeb, 0xf0));
    FContent->setPalette(palette);
    FContent->setStyleSheet(QStringLiteral(
        "QProgressBar { background: #15181d; border: 1px solid #3a404c; border-radius: 4px;"
        " color: white; text-align: center; min-height: 18px; }"
        "QProgressBar::chunk { background: #208ade; border-radius: 3px; }"
        "QLabel { color: #e8ebf0; }"));

    grid->addWidget(topLeft, 0, 0);
    grid->addWidget(titleBar, 0, 1);
    grid->addWidget(topRight, 0, 2);
    grid->addWidget(left, 1, 0);
    grid->addWidget(FContent, 1, 1);
    grid->addWidget(right, 1, 2);
    grid->addWidget(bottomLeft, 2, 0);
    grid->addWidget(bottom, 2, 1);
    grid->addWidget(bottomRight, 2, 2);
}

void TSkinnedDialog::AddOkCancelRow(QBoxLayout* column, TPictureButton*& ok,
                                    TPictureButton*& cancel) {
    auto* row = new QHBoxLayout;
    ok = new TPictureButton(QStringLiteral("btnOK"), QStringLiteral("OK"), Content());
    cancel = new TPictureButton(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), Content());
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    column->addLayout(row);
}

void TSkinnedDialog::showEvent(QShowEvent* event) {
    const bool first = !FShown;
    if (first) {
        FShown = true;
        if (FSets & FrameSet)
            LoadFrameSkin(this);
        if (FSets & ButtonSet)
            LoadButtonSkin(this);
        if (FSets & CaptionButtonSet)
            LoadCaptionButtonSkin(this);
    }
    QDialog::showEvent(event);
    if (first)
        FirstShow();
}

void TSkinnedDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ApplyRoundedCorners(this, kCornerRadius);
}
