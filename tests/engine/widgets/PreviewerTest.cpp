#include "engine/FFUtils.h"
#include "engine/widgets/TPreviewer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

TEST(Previewer, ShowsEachPictureAtItsSizeWithItsTimeUntilClosed) {
    TPreviewer window;
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(Qt::red);
    window.ShowPicture(picture, 1500000);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.size(), QSize(160, 120));
    EXPECT_EQ(window.windowTitle(), FormatTimeStamp(1500000));
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window.grab().toImage().pixelColor(80, 60), QColor(Qt::red));

    // A larger picture later: the window follows it.
    window.ShowPicture(QImage(320, 240, QImage::Format_RGB32), 2000000);
    EXPECT_EQ(window.size(), QSize(320, 240));
    EXPECT_EQ(window.windowTitle(), FormatTimeStamp(2000000));

    // Closed for good: later pictures do not bring it back.
    window.close();
    EXPECT_TRUE(window.Closed());
    window.ShowPicture(picture, 2500000);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), FormatTimeStamp(2000000));
}
