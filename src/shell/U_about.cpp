#include "shell/U_about.h"

#include "core/AppFolders.h"
#include "core/AppSettings.h"
#include "core/SysInfoUtils.h"
#include "shell/SkinnedDialog.h"
#include "shell/WebPage.h"

#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

constexpr QSize kAboutSize(450, 250);

// A link that underlines itself while the mouse is over it.
class TLinkLabel : public QLabel {
public:
    TLinkLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
        : QLabel(text, parent), FOnClick(std::move(onClick)) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void enterEvent(QEnterEvent*) override { SetUnderline(true); }
    void leaveEvent(QEvent*) override { SetUnderline(false); }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && FOnClick)
            FOnClick();
    }

private:
    void SetUnderline(bool on) {
        QFont f = font();
        f.setUnderline(on);
        setFont(f);
    }
    std::function<void()> FOnClick;
};

QString VersionText() {
    // major.minor.release of the program version
    return QStringLiteral("Version ") + ProgramVersionText().section(QLatin1Char('.'), 0, 2);
}

} // namespace

Taboutfrm::Taboutfrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      FHomePage(ReadWebAddresses(ResourcePath(QStringLiteral("URL.cfg"))).HomePage) {
    setObjectName(QStringLiteral("aboutfrm"));
    setWindowTitle(QStringLiteral("About Morvane Reelcaster"));
    setFixedSize(kAboutSize);

    const QString textStyle = QStringLiteral("color: #c9d3e3; background: transparent;");
    lblVersion = new QLabel(VersionText(), this);
    lblVersion->setStyleSheet(textStyle);
    lblVersion->setGeometry(32, 150, 380, 20);

    lblHomePageCaption = new QLabel(QStringLiteral("Home Page:"), this);
    lblHomePageCaption->setStyleSheet(textStyle);
    lblHomePageCaption->setGeometry(32, 176, 80, 20);

    lblHomePage = new TLinkLabel(FHomePage, this, [this] { OpenWebPage(FHomePage); });
    lblHomePage->setStyleSheet(QStringLiteral("color: #5fb4ff; background: transparent;"));
    lblHomePage->setGeometry(112, 176, 306, 20);

    CentreOnDesktop(this);
}

void Taboutfrm::ShowAsSplash() {
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setEnabled(false);
    show();
    repaint();
}

void Taboutfrm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();

    QLinearGradient background(area.topLeft(), area.bottomRight());
    background.setColorAt(0.0, QColor(0x24, 0x2b, 0x3a));
    background.setColorAt(1.0, QColor(0x0f, 0x12, 0x19));
    painter.fillRect(area, background);

    // A reel: a ring with five holes, the mark of the program.
    const QPointF centre(370, 72);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0x8a, 0x1f));
    QPainterPath reel;
    reel.addEllipse(centre, 44, 44);
    for (int i = 0; i < 5; ++i) {
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(i * 72.0);
        reel.addEllipse(turn.map(QPointF(0, -24)), 10, 10);
    }
    reel.addEllipse(centre, 6, 6);
    painter.drawPath(reel);

    painter.setPen(QColor(0xf2, 0xf5, 0xfa));
    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 2.2);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRectF(32, 40, 300, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Reelcaster"));
    QFont subtitle = font();
    subtitle.setPointSizeF(subtitle.pointSizeF() * 1.1);
    painter.setFont(subtitle);
    painter.setPen(QColor(0x9a, 0xa7, 0xbd));
    painter.drawText(QRectF(32, 82, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Morvane video converter"));

    painter.setPen(QColor(0x3a, 0x44, 0x58));
    painter.drawLine(QPointF(32, 136), QPointF(418, 136));
}

void Taboutfrm::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        close();
}
