#include "shell/SkinnedDialog.h"
#include "shell/U_MainIcons.h"
#include "shell/U_about.h"
#include "shell/uLoadUI.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#ifndef REELCASTER_SKIN_DIR
#error "REELCASTER_SKIN_DIR names the shipped skin"
#endif

namespace {

const char* const kFramePieces[] = {"imgtleft", "imgtright",  "imgtCenter", "imgLTop", "imgLBottom",
                                    "imgRtop",  "imgRBottom", "imgBb",      "imgLogo"};

// A tool window with every skin set and an OK and Cancel button.
class TSampleDialog : public TSkinnedDialog {
public:
    explicit TSampleDialog(QWidget* parent = nullptr)
        : TSkinnedDialog(parent, QStringLiteral("Sample"),
                         FrameSet | ButtonSet | CaptionButtonSet) {
        ok = new TPictureButton(QStringLiteral("btnOK"), QStringLiteral("OK"), Content());
        cancel =
            new TPictureButton(QStringLiteral("BTNCANCEL"), QStringLiteral("Cancel"), Content());
        resize(300, 200);
    }
    TSkinImage* Piece(const char* name) {
        return qobject_cast<TSkinImage*>(FindSkinControl(this, QLatin1String(name)));
    }
    TPictureButton* Button(const char* name) {
        return qobject_cast<TPictureButton*>(FindSkinControl(this, QLatin1String(name)));
    }
    TPictureButton* ok = nullptr;
    TPictureButton* cancel = nullptr;
};

class SkinTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("REELCASTER_HOME", home.path().toUtf8());
    }
    void TearDown() override { qunsetenv("REELCASTER_HOME"); }

    void InstallShippedSkin() {
        QDir().mkpath(home.filePath("skin"));
        const QDir shipped(QStringLiteral(REELCASTER_SKIN_DIR));
        for (const QString& name : shipped.entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(shipped.filePath(name), home.filePath("skin/" + name)));
    }
    void WriteSkinFile(const QString& name, const QImage& image) {
        QDir().mkpath(home.filePath("skin"));
        QFile::remove(home.filePath("skin/" + name));
        ASSERT_TRUE(image.save(home.filePath("skin/" + name)));
    }
    // Shows the window as the application does and closes it from inside its event loop.
    static int ShowModal(QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&dialog] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            dialog.accept();
        });
        return dialog.exec();
    }

    QTemporaryDir home;
};

} // namespace

TEST_F(SkinTest, ShippedSkinHasEveryPicture) {
    const QDir shipped(QStringLiteral(REELCASTER_SKIN_DIR));
    for (const char* name :
         {"Top_Left.jpg", "top_right.jpg", "top_mid.jpg", "mid_left.jpg", "bottom_left.jpg",
          "mid_right.jpg", "bottom_right.jpg", "bottom_mid.jpg", "Logo.png", "btn_up.bmp",
          "btn_Hot.bmp", "btn_down.bmp", "min_up.bmp", "min_hot.bmp", "close_up.bmp",
          "close_hot.bmp"}) {
        SCOPED_TRACE(name);
        const QImage normal(shipped.filePath(QLatin1String(name)));
        ASSERT_FALSE(normal.isNull());
        const QString base = QString::fromLatin1(name).section('.', 0, 0);
        const QString extension = QString::fromLatin1(name).section('.', 1);
        const QImage doubled(shipped.filePath(base + "@2x." + extension));
        ASSERT_FALSE(doubled.isNull());
        EXPECT_EQ(doubled.size(), normal.size() * 2);
    }
    EXPECT_EQ(QImage(shipped.filePath("Logo.png")).size(), QSize(16, 16));
}

TEST_F(SkinTest, OliveIsTransparentInBitmapsOnly) {
    QImage picture(4, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(128, 128, 0));
    picture.setPixel(1, 0, qRgb(200, 10, 10));
    picture.setPixel(2, 0, qRgb(128, 128, 1));
    picture.setPixel(3, 0, qRgb(128, 128, 0));
    WriteSkinFile("sample.bmp", picture);
    WriteSkinFile("sample.png", picture);

    const QImage bitmap = LoadSkinPicture("sample.bmp").toImage();
    ASSERT_EQ(bitmap.size(), QSize(4, 1));
    EXPECT_EQ(qAlpha(bitmap.pixel(0, 0)), 0);
    EXPECT_EQ(bitmap.pixel(1, 0), qRgb(200, 10, 10));
    EXPECT_EQ(qAlpha(bitmap.pixel(2, 0)), 255);
    EXPECT_EQ(qAlpha(bitmap.pixel(3, 0)), 0);
    EXPECT_EQ(qAlpha(LoadSkinPicture("sample.png").toImage().pixel(0, 0)), 255);
    EXPECT_TRUE(LoadSkinPicture("missing.bmp").isNull());
}

TEST_F(SkinTest, ControlsAndPicturesAreFoundWithoutRegardToLetterCase) {
    TSampleDialog dialog;
    EXPECT_EQ(FindSkinControl(&dialog, "IMGTCENTER"), dialog.Piece("imgtCenter"));
    EXPECT_EQ(FindSkinControl(&dialog, "btncancel"), dialog.cancel);
    EXPECT_EQ(FindSkinControl(&dialog, "nothing"), nullptr);

    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    WriteSkinFile("top_left.jpg", picture);
    EXPECT_EQ(LoadSkinPicture("Top_Left.jpg").size(), QSize(3, 2));
}

TEST_F(SkinTest, ShippedSkinFillsEveryPieceWhenTheWindowIsShown) {
    InstallShippedSkin();
    TSampleDialog dialog;
    EXPECT_TRUE(dialog.Piece("imgtCenter")->Picture().isNull()); // not before it is shown
    EXPECT_EQ(ShowModal(dialog), QDialog::Accepted);
    for (const char* name : kFramePieces)
        EXPECT_FALSE(dialog.Piece(name)->Picture().isNull()) << name;
    for (const char* name : {"btnOK", "btnCancel", "btnmin", "btnclose"})
        EXPECT_TRUE(dialog.Button(name)->HasPictures()) << name;
    EXPECT_EQ(dialog.ok->sizeHint(), QSize(84, 28));
    EXPECT_FALSE(dialog.mask().isEmpty());
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST_F(SkinTest, WindowsOpenAndWorkWithoutASkin) {
    ASSERT_FALSE(QDir(home.filePath("skin")).exists());
    TSampleDialog dialog;
    EXPECT_EQ(ShowModal(dialog), QDialog::Accepted);
    for (const char* name : kFramePieces)
        EXPECT_TRUE(dialog.Piece(name)->Picture().isNull()) << name;
    EXPECT_FALSE(dialog.ok->HasPictures());
    EXPECT_GT(dialog.ok->sizeHint().width(), 0);

    // The close box still closes the window.
    TSampleDialog second;
    QTimer::singleShot(0, &second, [&second] { second.Button("btnclose")->click(); });
    EXPECT_EQ(second.exec(), QDialog::Rejected);

    Taboutfrm about;
    EXPECT_EQ(ShowModal(about), QDialog::Accepted);
}

TEST_F(SkinTest, AnUnreadablePictureLeavesItsPiecePlain) {
    InstallShippedSkin();
    for (const char* name : {"skin/Top_Left.jpg", "skin/Top_Left@2x.jpg"}) {
        QFile broken(home.filePath(name));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("not a picture");
    }
    TSampleDialog dialog;
    EXPECT_EQ(ShowModal(dialog), QDialog::Accepted);
    EXPECT_TRUE(dialog.Piece("imgtleft")->Picture().isNull());
    EXPECT_FALSE(dialog.Piece("imgtright")->Picture().isNull());
}

TEST_F(SkinTest, AReplacedPictureShowsAtTheNextOpening) {
    InstallShippedSkin();
    {
        TSampleDialog dialog;
        ShowModal(dialog);
        EXPECT_NE(dialog.Piece("imgtCenter")->Picture().toImage().pixelColor(0, 10),
                  QColor(Qt::red));
    }
    QImage red(8, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    WriteSkinFile("top_mid.jpg", red);
    QFile::remove(home.filePath("skin/top_mid@2x.jpg"));
    TSampleDialog dialog;
    ShowModal(dialog);
    const QColor shown = dialog.Piece("imgtCenter")->Picture().toImage().pixelColor(4, 10);
    EXPECT_GT(shown.red(), 240);
    EXPECT_LT(shown.green(), 20);
}

// Every picture of the main window is among the resources and draws something at both
// densities; a disabled one is dimmed (but the accent-coloured logo and Start).
TEST(MainIcons, EveryPictureDrawsAtEveryDensity) {
    const auto opaquePixels = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += qAlpha(image.pixel(x, y)) > 0;
        return count;
    };
    for (int kind = int(TMainIcon::Logo); kind <= int(TMainIcon::Close); ++kind) {
        SCOPED_TRACE(kind);
        const QIcon icon = MainIcon(TMainIcon(kind), 16);
        for (const double ratio : {1.0, 2.0}) {
            const QImage normal = icon.pixmap(QSize(16, 16), ratio).toImage();
            EXPECT_EQ(normal.width(), int(16 * ratio));
            EXPECT_GT(opaquePixels(normal), 4);
            const bool accentOnly = kind == int(TMainIcon::Logo) || kind == int(TMainIcon::Start);
            EXPECT_EQ(icon.pixmap(QSize(16, 16), ratio, QIcon::Disabled).toImage() == normal,
                      accentOnly);
        }
    }
}
