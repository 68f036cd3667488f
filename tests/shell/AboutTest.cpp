#include "shell/U_about.h"

#include "common/FakePrompts.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("REELCASTER_HOME", home.path().toUtf8()); }
    void TearDown() override { qunsetenv("REELCASTER_HOME"); }
    void WriteUrlCfg(const QByteArray& text) {
        QFile file(home.filePath("URL.cfg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QTemporaryDir home;
};

} // namespace

TEST_F(AboutTest, WithoutUrlCfgTheLinkIsEmpty) {
    Taboutfrm about;
    EXPECT_EQ(about.size(), QSize(450, 250));
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(about.lblHomePage->text().isEmpty());
    EXPECT_EQ(about.lblHomePageCaption->text(), "Home Page:");
    EXPECT_TRUE(about.lblVersion->text().contains(
        QRegularExpression(QStringLiteral(R"(^Version \d+\.\d+\.\d+$)"))));
}

TEST_F(AboutTest, LinkShowsTheHomePageAndUnderlinesUnderTheMouse) {
    WriteUrlCfg("[URL]\nHomePage=https://example.org/reelcaster\nHelpPage=https://x/\n");
    Taboutfrm about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.lblHomePage->text(), "https://example.org/reelcaster");
    EXPECT_FALSE(about.lblHomePage->font().underline());

    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(about.lblHomePage, &enter);
    EXPECT_TRUE(about.lblHomePage->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(about.lblHomePage, &leave);
    EXPECT_FALSE(about.lblHomePage->font().underline());

    TFakePrompts prompts;
    QTest::mouseClick(about.lblHomePage, Qt::LeftButton);
    EXPECT_EQ(prompts.Calls, QStringList{"OpenAddress: https://example.org/reelcaster"});
}

TEST_F(AboutTest, APressOnThePictureCloses) {
    Taboutfrm about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(about.isVisible());
}

TEST_F(AboutTest, SplashStaysOnTopAndIgnoresInput) {
    Taboutfrm splash;
    splash.ShowAsSplash();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_FALSE(splash.isEnabled());
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(splash.isVisible());
}
