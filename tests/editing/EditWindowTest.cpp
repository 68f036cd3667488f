// The edit window with the real player on the test media (SDL's dummy sound driver plays in
// real time); prompts answered by the test. The 320x240 test pictures sit in the 360 × 220
// previews from x = 33 to 327 over the full height.

#include "editing/U_Edit.h"

#include "controls/AreaEditor.h"
#include "controls/MrvTrackbar.h"
#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_TreelistModel.h"
#include "editing/EditPreview.h"
#include "engine/FFLoad.h"
#include "engine/encoder/FFEncode.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/AppTheme.h"
#include "shell/uLoadUI.h"

#include "PlayerWindowFixture.h"

#include "common/Conversion.h"
#include "common/FakePrompts.h"
#include "common/MouseDrag.h"
#include "common/Process.h"
#include "common/TestMedia.h"
#include "common/TestPictures.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <optional>

namespace {

std::string Text(const TEdgeRect& r) {
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) +
           "," + std::to_string(r.Bottom);
}

// The bounding box of the pixels inside `within` that have `colour` in `converted` but not in
// `source` (the test picture has every colour somewhere, and moving parts).
std::optional<QRect> BecameColour(const QImage& converted, const QImage& source,
                                  const std::function<bool(const QColor&)>& colour,
                                  const QRect& within) {
    std::optional<QRect> box;
    const QRect area = within & converted.rect() & source.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (colour(converted.pixelColor(x, y)) && !colour(source.pixelColor(x, y)))
                box = box ? box->united(QRect(x, y, 1, 1)) : QRect(x, y, 1, 1);
        }
    }
    return box;
}

bool Red(const QColor& c) {
    return c.red() > 180 && c.green() < 90 && c.blue() < 90;
}

bool Green(const QColor& c) {
    return c.green() > 160 && c.red() < 110 && c.blue() < 110;
}

// The bounding box of the pixels where two pictures of one size differ clearly.
std::optional<QRect> Differences(const QImage& a, const QImage& b, int threshold = 90) {
    std::optional<QRect> box;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            const int difference = std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                                   std::abs(p.blue() - q.blue());
            if (difference > threshold)
                box = box ? box->united(QRect(x, y, 1, 1)) : QRect(x, y, 1, 1);
        }
    }
    return box;
}

class EditWindowTest : public PlayerWindowFixture<TEditfrm> {
protected:
    // Opens the window for `row` and waits for the frames to be laid out.
    void Open(TJobRow* row) {
        window = std::make_unique<TEditfrm>(player, row->Item);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(player.Opened()) << prompts.Calls.join("; ").toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Ready(); }, 5000));
    }
    // The window open on a new item of the test file, paused on a picture.
    TJobRow* OpenPaused() {
        TJobRow* row = Add(testmedia::kH264Aac);
        Open(row);
        PauseShowingPictures();
        return row;
    }
    // Pauses once both previews show a picture, and waits for the pictures the player still
    // decodes ahead after a pause.
    void PauseShowingPictures() {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return Shows(window->imgVideo1) && Shows(window->imgVideo2); }, 5000));
        window->btnpauseClick();
        QImage last;
        int still = 0;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QImage now = window->imgVideo1->Picture();
                still = now == last ? still + 1 : 0;
                last = now;
                return still >= 10;
            },
            5000));
    }
    static bool Shows(TEditPreview* preview) {
        const QImage picture = preview->Picture();
        return qGray(picture.pixel(picture.width() / 2, picture.height() / 2)) > 10;
    }
    static QImage Region(const QImage& picture, const TEdgeRect& r) {
        return picture.copy(ToQRect(r));
    }
    void Close(bool ok) {
        if (ok)
            window->btnOKClick();
        else
            window->btnCancelClick();
        window.reset();
    }
    QString Log() {
        QFile file(folder + "Log/log1.txt");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // A picture file of one colour.
    QString WritePicture(const QString& name, const QSize& size, const QColor& colour) {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(colour);
        const QString path = folder + name;
        EXPECT_TRUE(picture.save(path));
        return path;
    }
    void ChoosePicture(const QString& path) {
        window->PageControl->setCurrentIndex(1);
        if (!window->chkStartup->isChecked())
            window->chkStartup->click();
        window->rbimage->click();
        prompts.PictureToOpen = path;
        window->btnopenPic->click();
    }
    void TurnOnText() {
        window->PageControl->setCurrentIndex(1);
        window->chkStartup->click();
        window->rbText->click();
    }
    void Convert() { ASSERT_TRUE(ConvertCheckedItems(list)); }
};

const TEdgeRect kDisplay{33, 0, 327, 220};

} // namespace

TEST_F(EditWindowTest, OpensOnTheWholePictureAndFeedsBothPreviews) {
    TJobRow* row = Add(testmedia::kH264Aac);
    Open(row);
    EXPECT_EQ(window->windowTitle(), "Video Edit");
    EXPECT_EQ(window->TitleLabel()->text(), "Edit");
    EXPECT_EQ(window->PageControl->tabText(0), "Crop   ");
    EXPECT_EQ(window->PageControl->tabText(1), "Watermark");
    EXPECT_EQ(window->InputDisplay(), kDisplay);
    EXPECT_EQ(window->OutputDisplay(), kDisplay);
    EXPECT_EQ(window->CropFrame(), kDisplay);
    EXPECT_FALSE(window->CropActive());
    EXPECT_EQ(window->edtwidth->value(), 320);
    EXPECT_EQ(window->edtheight->value(), 240);
    EXPECT_EQ(window->edtwidth->maximum(), 320);
    // Room for the smallest frame (18 preview pixels, 20 source pixels) is kept.
    EXPECT_EQ(window->edtleft->maximum(), 300);
    EXPECT_EQ(window->edttop->maximum(), 220);
    EXPECT_EQ(window->TrckAudio->Position(), 128);
    EXPECT_EQ(window->ardtr1->BorderFrameSize, 3);
    EXPECT_FALSE(window->ardtr2->isVisible());
    EXPECT_FALSE(window->PanelVideo->isVisible());
    EXPECT_TRUE(window->Playing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->TrckVideo->Position() > 300000; }, 5000))
        << "the seek bar follows in microseconds";
    PauseShowingPictures();
    // Uncropped, the output shows what the input shows.
    const QImage input = Region(window->imgVideo1->Picture(), kDisplay);
    const QImage output = Region(window->imgVideo2->Picture(), kDisplay);
    EXPECT_LT(ThumbnailDifference(input, output), 3.0);
    window->TrckAudio->SetPosition(40);
    EXPECT_EQ(player.AudioVolume(), 40);
    Close(false);
    const QString log = Log();
    EXPECT_TRUE(log.contains("Enter TEditfrm"));
    EXPECT_TRUE(log.contains("Video FrameSize: [320x240]"));
    EXPECT_TRUE(log.contains("Leave TEditfrm"));
    EXPECT_FALSE(player.Opened());
}

TEST_F(EditWindowTest, DraggingTheCropFrameCropsAndShowsItAtOnceWhilePaused) {
    OpenPaused();
    const QImage before = window->imgVideo2->Picture();
    // The right edge's handle, dragged to the middle of the picture.
    DragBy(window->ardtr1, QPoint(window->ardtr1->width() - 1, window->ardtr1->height() / 2),
           QPoint(-147, 0));
    EXPECT_EQ(window->CropFrame(), (TEdgeRect{33, 0, 180, 220}));
    EXPECT_TRUE(window->CropActive());
    EXPECT_EQ(window->CropRect(), (TEdgeRect{0, 0, 160, 240})) << Text(window->CropRect());
    EXPECT_EQ(window->edtleft->value(), 0);
    EXPECT_EQ(window->edttop->value(), 0);
    EXPECT_EQ(window->edtwidth->value(), 160);
    EXPECT_EQ(window->edtheight->value(), 240);
    // The left half fills the output's height at its own shape: 160x240 in 294 × 220.
    const QImage after = window->imgVideo2->Picture();
    const TEdgeRect shown{107, 0, 254, 220};
    EXPECT_LT(ThumbnailDifference(Region(after, shown),
                                  Region(window->imgVideo1->Picture(), {33, 0, 180, 220})),
              6.0);
    EXPECT_GT(ThumbnailDifference(before, after), 10.0);
    EXPECT_EQ(QColor(after.pixel(60, 110)), QColor(0x10, 0x10, 0x10)) << "bars beside it";
    EXPECT_EQ(QColor(after.pixel(10, 110)), QColor(Qt::black)) << "outside the output frame";

    // Past the picture's edge the frame stops there; it never gets smaller than 18.
    DragBy(window->ardtr1, QPoint(1, 1), QPoint(-100, -100));
    EXPECT_EQ(window->CropFrame(), (TEdgeRect{33, 0, 180, 220}));
    DragBy(window->ardtr1, QPoint(1, window->ardtr1->height() / 2), QPoint(300, 0));
    EXPECT_EQ(window->CropFrame().Width(), 18);
    EXPECT_EQ(window->CropFrame().Right, 180);
}

TEST_F(EditWindowTest, TypedCropValuesMoveTheFrameAndAreKeptExactly) {
    TJobRow* row = OpenPaused();
    const struct {
        QSpinBox* edit;
        int value;
        TEdgeRect frame, crop;
    } steps[] = {
        // Left 100 → 124.875 → 125; the frame keeps its width until it would leave the picture.
        {window->edtleft, 100, {125, 0, 327, 220}, {100, 0, 320, 240}},
        {window->edtwidth, 50, {125, 0, 171, 220}, {100, 0, 150, 240}},
        // Above its maximum (220) the top is set back; top + height ends at the bottom.
        {window->edttop, 300, {125, 202, 171, 220}, {100, 220, 150, 240}},
        {window->edttop, 30, {125, 28, 171, 46}, {100, 30, 150, 240}},
        {window->edtheight, 100, {125, 28, 171, 119}, {100, 30, 150, 130}},
        // A width too small for the frame's handles: the frame stays at 18, the crop is exact.
        {window->edtwidth, 8, {125, 28, 143, 119}, {100, 30, 108, 130}},
    };
    for (const auto& step : steps) {
        step.edit->setValue(step.value);
        EXPECT_EQ(window->CropFrame(), step.frame)
            << step.edit->objectName().toStdString() << " " << Text(window->CropFrame());
        EXPECT_EQ(window->CropRect(), step.crop)
            << step.edit->objectName().toStdString() << " " << Text(window->CropRect());
    }
    EXPECT_EQ(window->edttop->value(), 30);
    EXPECT_TRUE(window->CropActive());

    window->btnCropResetClick();
    EXPECT_FALSE(window->CropActive());
    EXPECT_EQ(window->CropFrame(), kDisplay);
    EXPECT_EQ(window->CropRect(), (TEdgeRect{0, 0, 320, 240}));
    EXPECT_EQ(window->edtleft->value(), 0);
    EXPECT_EQ(window->edtwidth->value(), 320);
    // After a reset OK stores the crop as off and leaves an earlier one in the item.
    row->Item.CropRect = {1, 2, 3, 4};
    Close(true);
    EXPECT_FALSE(row->Item.CropEnabled);
    EXPECT_EQ(row->Item.CropRect, (TEdgeRect{1, 2, 3, 4}));
}

TEST_F(EditWindowTest, OkStoresTheCropAndReopeningShowsItAgain) {
    TJobRow* row = OpenPaused();
    window->edtleft->setValue(30);
    window->edttop->setValue(30);
    DragBy(window->ardtr1, QPoint(window->ardtr1->width() / 2, window->ardtr1->height() / 2),
           QPoint(-10, 5));
    const TEdgeRect frame = window->CropFrame();
    const TEdgeRect crop = window->CropRect();
    Close(true);
    EXPECT_TRUE(row->Item.CropEnabled);
    EXPECT_EQ(row->Item.CropRect, crop);
    EXPECT_EQ(row->Item.CropViewRect, frame);
    const QString log = Log();
    EXPECT_TRUE(log.contains("CutVideo:-------------"));
    EXPECT_TRUE(log.contains(QString::asprintf("SrcRect: %d, %d , %d, %d", crop.Left, crop.Top,
                                               crop.Right, crop.Bottom)));
    EXPECT_TRUE(log.contains(QString::asprintf("DestRect: %d, %d , %d, %d", frame.Left, frame.Top,
                                               frame.Right, frame.Bottom)));

    Open(row);
    EXPECT_TRUE(window->CropActive());
    EXPECT_EQ(window->CropFrame(), frame);
    EXPECT_EQ(window->CropRect(), crop);
    EXPECT_EQ(window->edtleft->value(), crop.Left);
    EXPECT_EQ(window->edttop->value(), crop.Top);
    EXPECT_EQ(window->edtwidth->value(), crop.Width());
    EXPECT_EQ(window->edtheight->value(), crop.Height());
}

TEST_F(EditWindowTest, CancelLeavesTheItemAsItWas) {
    TJobRow* row = Add(testmedia::kH264Aac);
    const TFileOption before = row->Item;
    Open(row);
    PauseShowingPictures();
    window->edtleft->setValue(50);
    ChoosePicture(WritePicture("mark.png", {40, 20}, Qt::red));
    window->rbText->click();
    window->edtText->setText("Hello");
    window->btnCancelClick();
    EXPECT_FALSE(player.Opened());
    window.reset();
    EXPECT_EQ(row->Item.CropEnabled, before.CropEnabled);
    EXPECT_EQ(row->Item.CropRect, before.CropRect);
    EXPECT_EQ(row->Item.CropViewRect, before.CropViewRect);
    EXPECT_EQ(row->Item.WaterMarkType, before.WaterMarkType);
    EXPECT_TRUE(row->Item.WaterMark == before.WaterMark);
}

TEST_F(EditWindowTest, APictureWatermarkIsPlacedInOutputPixels) {
    TJobRow* row = OpenPaused();
    const QString picture = WritePicture("mark.png", {40, 20}, Qt::red);
    ChoosePicture(picture);
    EXPECT_TRUE(prompts.Calls.contains("OpenPicture: "));
    EXPECT_EQ(AppSettings().SourceImgPath, folder);
    EXPECT_TRUE(window->PictureLoaded());
    EXPECT_EQ(window->edtImage->text(), picture);
    // One picture pixel per preview pixel, in the output's top-left corner.
    EXPECT_EQ(window->imgWatemark->geometry(), QRect(33, 0, 40, 20));
    EXPECT_EQ(window->ardtr2->geometry(), QRect(33, 0, 40, 20));
    EXPECT_TRUE(window->ardtr2->isVisible());
    EXPECT_TRUE(window->ardtr2->Resizable);
    EXPECT_TRUE(window->imgWatemark->isVisible());
    EXPECT_TRUE(window->ImageW->isVisible());

    window->ImageW->setValue(40);
    window->ImageH->setValue(20);
    window->edtWaterH->setValue(20);
    window->edtWaterV->setValue(30);
    EXPECT_EQ(window->WaterMarkRect(), (TEdgeRect{20, 30, 60, 50}))
        << Text(window->WaterMarkRect());
    EXPECT_EQ(window->edtWaterH->maximum(), 280);
    EXPECT_EQ(window->edtWaterV->maximum(), 220);
    EXPECT_EQ(window->TrckWatermarkH->Position(), 20);
    // The frame and the overlay show it as near as the preview can.
    EXPECT_EQ(window->ardtr2->geometry(), QRect(51, 28, 37, 18));
    EXPECT_EQ(window->imgWatemark->geometry(), window->ardtr2->geometry());
    Close(true);

    const TWaterMark& mark = row->Item.WaterMark;
    EXPECT_EQ(row->Item.WaterMarkType, wmPicture);
    EXPECT_EQ(mark.WaterMarkKind, wmPicture);
    EXPECT_EQ(mark.PictureFile, picture);
    EXPECT_EQ(mark.OutputRect, QRect(20, 30, 40, 20));
    EXPECT_EQ(mark.PictureViewRect, QRect(51, 28, 37, 18));
    EXPECT_EQ(QImage(mark.ScaledPictureFile).size(), QSize(40, 20));
    const QString log = Log();
    EXPECT_TRUE(log.contains("AddPicWaterMark:-------------"));
    EXPECT_TRUE(log.contains("SrcRect: 20, 30 , 60, 50"));
    EXPECT_TRUE(log.contains("Pic Name: " + picture));

    // Reopened, it is where it was; switched off, the settings stay for later.
    Open(row);
    EXPECT_TRUE(window->chkStartup->isChecked());
    EXPECT_TRUE(window->rbimage->isChecked());
    EXPECT_EQ(window->WaterMarkRect(), (TEdgeRect{20, 30, 60, 50}));
    EXPECT_EQ(window->edtWaterV->value(), 30);
    window->chkStartup->click();
    EXPECT_FALSE(window->ardtr2->isVisible());
    EXPECT_FALSE(window->edtWaterH->isEnabled());
    Close(true);
    EXPECT_EQ(row->Item.WaterMarkType, wmOff);
    EXPECT_EQ(row->Item.WaterMark.PictureFile, picture);
    EXPECT_EQ(row->Item.WaterMark.OutputRect, QRect(20, 30, 40, 20));
}

TEST_F(EditWindowTest, ATextWatermarkTakesTheChosenFont) {
    TJobRow* row = OpenPaused();
    TurnOnText();
    EXPECT_FALSE(window->rbimage->isChecked());
    EXPECT_FALSE(window->ImageW->isVisible());
    EXPECT_FALSE(window->ardtr2->isVisible()) << "no text yet";
    window->edtText->setText("  Hello  ");
    EXPECT_EQ(window->lblWatemark->text(), "Hello");
    EXPECT_TRUE(window->ardtr2->isVisible());
    EXPECT_FALSE(window->ardtr2->Resizable);
    EXPECT_EQ(window->lblWatemark->pos(), QPoint(33, 0));
    // 24 points on the output are 22 on the preview (24 / 1.09).
    EXPECT_EQ(window->lblWatemark->font().pointSize(), 22);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(30);
    font.setBold(true);
    prompts.FontToChoose = font;
    prompts.ColorToChoose = QColor(0, 255, 0);
    window->btnopenFont->click();
    EXPECT_EQ(window->lblWatemark->font().pointSize(), 28); // 27.5, to the even side
    EXPECT_TRUE(window->lblWatemark->font().bold());

    window->edtWaterH->setValue(50);
    window->edtWaterV->setValue(60);
    EXPECT_EQ(window->WaterMarkRect().Left, 50);
    EXPECT_EQ(window->WaterMarkRect().Top, 60);
    EXPECT_EQ(window->lblWatemark->pos(), window->ardtr2->pos());
    const QRect shown = window->lblWatemark->geometry();
    Close(true);

    const TWaterMark& mark = row->Item.WaterMark;
    EXPECT_EQ(row->Item.WaterMarkType, wmText);
    EXPECT_EQ(mark.WaterMarkKind, wmText);
    EXPECT_EQ(mark.WaterMarkText, "  Hello  ") << "kept as typed";
    ASSERT_TRUE(mark.TextFont.has_value());
    EXPECT_EQ(mark.TextFont->Font.pointSize(), 30);
    EXPECT_TRUE(mark.TextFont->Font.bold());
    EXPECT_EQ(mark.TextFont->Color, QColor(0, 255, 0));
    EXPECT_EQ(mark.OutputRect.topLeft(), QPoint(50, 60));
    EXPECT_EQ(mark.TextViewRect, shown);
    const QString log = Log();
    EXPECT_TRUE(log.contains("AddFontWaterMark:-------------"));
    EXPECT_TRUE(log.contains("Size: 30, Name: " + font.family()));

    // Typing again puts the text back into the corner.
    Open(row);
    EXPECT_TRUE(window->rbText->isChecked());
    EXPECT_EQ(window->WaterMarkRect().Top, 60);
    EXPECT_EQ(window->lblWatemark->geometry(), shown);
    window->edtText->setText("Hello!");
    EXPECT_EQ(window->lblWatemark->pos(), QPoint(33, 0));
    EXPECT_EQ(window->WaterMarkRect().Top, 0);
}

TEST_F(EditWindowTest, AnUnreadablePictureIsSaidAndNotStored) {
    TJobRow* row = Add(testmedia::kH264Aac);
    Open(row);
    QFile broken(folder + "broken.png");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    ChoosePicture(broken.fileName());
    EXPECT_TRUE(prompts.Calls.contains("Warning: Failed to open the file."))
        << prompts.Calls.join("; ").toStdString();
    EXPECT_FALSE(window->PictureLoaded());
    EXPECT_FALSE(window->ardtr2->isVisible());
    Close(true);
    EXPECT_TRUE(row->Item.WaterMark.PictureFile.isEmpty());
    EXPECT_NE(row->Item.WaterMarkType, wmPicture);
}

// Without a picture to show (a sound file, a source gone since it was added) the window edits
// nothing, and its OK keeps what the item had.
TEST_F(EditWindowTest, WithoutAPictureNothingIsEditedNorLost) {
    TJobRow* sound = Add(testmedia::kAudioOnly);
    TJobRow* gone = Add(testmedia::kH264Aac);
    gone->Item.InputOptions.FileName = folder + "gone.mp4";
    for (TJobRow* row : {sound, gone}) {
        row->Item.CropEnabled = true;
        row->Item.CropRect = {10, 10, 100, 100};
        row->Item.WaterMarkType = wmText;
        window = std::make_unique<TEditfrm>(player, row->Item);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        if (row == sound)
            ASSERT_TRUE(QTest::qWaitFor([&] { return !window->PageControl->isEnabled(); }, 5000));
        else
            EXPECT_TRUE(prompts.Calls.last().startsWith("Error: "))
                << prompts.Calls.join("; ").toStdString();
        EXPECT_FALSE(window->Ready());
        Close(true);
        EXPECT_TRUE(row->Item.CropEnabled);
        EXPECT_EQ(row->Item.CropRect, (TEdgeRect{10, 10, 100, 100}));
        EXPECT_EQ(row->Item.WaterMarkType, wmText);
    }
}

// --- What converts is what the previews showed ---------------------------------------------

TEST_F(EditWindowTest, ACroppedQuarterFillsTheOutput) {
    TJobRow* row = OpenPaused();
    window->edtwidth->setValue(160);
    window->edtheight->setValue(120);
    window->edtleft->setValue(160);
    window->edttop->setValue(120);
    EXPECT_EQ(window->CropRect(), (TEdgeRect{160, 120, 320, 240}));
    Close(true);
    Convert();
    const QString output = row->Item.OutputOptions.FileName;
    int videoStreams = 0;
    for (const QJsonValue stream : FFprobe(output).object()["streams"].toArray()) {
        if (stream["codec_type"].toString() != "video")
            continue;
        ++videoStreams;
        EXPECT_EQ(stream["width"].toInt(), 320);
        EXPECT_EQ(stream["height"].toInt(), 240);
    }
    EXPECT_EQ(videoStreams, 1);
    for (const double at : {0.0, 2.0}) {
        const QImage converted = FFmpegFrameAt(output, at);
        const QImage expected = FFmpegFrameAt(testmedia::Path(testmedia::kH264Aac), at,
                                              "crop=160:120:160:120,scale=320:240");
        EXPECT_LT(ThumbnailDifference(converted, expected), 8.0) << at;
        EXPECT_GT(
            ThumbnailDifference(converted, FFmpegFrameAt(testmedia::Path(testmedia::kH264Aac), at)),
            15.0)
            << "not the uncropped picture at " << at;
    }
}

TEST_F(EditWindowTest, APictureWatermarkLandsWhereItWasPlaced) {
    TJobRow* row = OpenPaused();
    ChoosePicture(WritePicture("red.png", {64, 64}, Qt::red));
    window->ImageW->setValue(40);
    window->ImageH->setValue(20);
    window->edtWaterH->setValue(20);
    window->edtWaterV->setValue(30);
    Close(true);
    Convert();
    const QString output = row->Item.OutputOptions.FileName;
    for (const double at : {0.5, 3.0}) {
        const QImage converted = FFmpegFrameAt(output, at).convertToFormat(QImage::Format_RGB32);
        const QImage source = FFmpegFrameAt(testmedia::Path(testmedia::kH264Aac), at)
                                  .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(converted.size(), QSize(320, 240));
        const std::optional<QRect> changed =
            BecameColour(converted, source, Red, QRect(20, 30, 40, 20).adjusted(-10, -10, 10, 10));
        ASSERT_TRUE(changed.has_value()) << at;
        // Chroma at half resolution blurs the edges by a pixel.
        EXPECT_NEAR(changed->left(), 20, 2) << at;
        EXPECT_NEAR(changed->top(), 30, 2) << at;
        EXPECT_NEAR(changed->right() + 1, 60, 2) << at;
        EXPECT_NEAR(changed->bottom() + 1, 50, 2) << at;
        const QColor middle = converted.pixelColor(40, 40);
        EXPECT_GT(middle.red(), 200) << at;
        EXPECT_LT(middle.green(), 60) << at;
    }
}

TEST_F(EditWindowTest, ATextWatermarkAppearsWhereThePreviewShowedIt) {
    TJobRow* row = OpenPaused();
    TurnOnText();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(28);
    font.setBold(true);
    prompts.FontToChoose = font;
    prompts.ColorToChoose = QColor(0, 255, 0);
    window->btnopenFont->click();
    window->edtText->setText("MARK");
    // Over the yellow, blue and magenta bars, where green letters stand out.
    DragBy(window->ardtr2, QPoint(10, 10), QPoint(120, 40));
    // Where the preview shows the letters: the preview with its overlay against the picture
    // alone, frame hidden.
    window->ardtr2->hide();
    const QImage withText = window->imgVideo2->grab().toImage().scaled(TEditfrm::kPreviewBox);
    const std::optional<QRect> onPreview =
        Differences(withText.convertToFormat(QImage::Format_RGB32),
                    window->imgVideo2->Picture().convertToFormat(QImage::Format_RGB32));
    ASSERT_TRUE(onPreview.has_value());
    const TFrameFit fit = FitFrame({320, 240}, TEditfrm::kPreviewBox);
    const TEdgeRect expected = DisplayToFrame(fit, EdgeRectOf(*onPreview));
    Close(true);
    Convert();
    const QString output = row->Item.OutputOptions.FileName;
    const QImage converted = FFmpegFrameAt(output, 1.0).convertToFormat(QImage::Format_RGB32);
    const QImage source = FFmpegFrameAt(testmedia::Path(testmedia::kH264Aac), 1.0)
                              .convertToFormat(QImage::Format_RGB32);
    const std::optional<QRect> inOutput =
        BecameColour(converted, source, Green, ToQRect(expected).adjusted(-12, -12, 12, 12));
    ASSERT_TRUE(inOutput.has_value());
    const TEdgeRect found = EdgeRectOf(*inOutput);
    for (const auto& [got, want] :
         {std::pair{found.Left, expected.Left}, std::pair{found.Top, expected.Top},
          std::pair{found.Right, expected.Right}, std::pair{found.Bottom, expected.Bottom}})
        EXPECT_NEAR(got, want, 4) << Text(found) << " against " << Text(expected);
}

// The window as a user sees it, both pages (REELCASTER_SCREENSHOT_DIR keeps pictures).
TEST_F(EditWindowTest, WhilePlayingBothPagesShowTheirFrames) {
    ApplyAppTheme(*qApp); // as the program looks
    Open(Add(testmedia::kOneMinute));
    DragBy(window->ardtr1, QPoint(1, 1), QPoint(40, 30));
    // The next pictures show the crop.
    const int64_t dragged = window->TrckVideo->Position();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->TrckVideo->Position() > dragged + 300000; }, 5000));
    EXPECT_TRUE(window->ardtr1->isVisible());
    const QByteArray screenshots = qgetenv("REELCASTER_SCREENSHOT_DIR");
    if (!screenshots.isEmpty())
        window->grab().save(QString::fromLocal8Bit(screenshots) + "/edit-crop.png");
    ChoosePicture(WritePicture("mark.png", {60, 40}, QColor(255, 200, 0)));
    window->edtWaterH->setValue(200);
    window->edtWaterV->setValue(150);
    EXPECT_TRUE(window->ardtr2->isVisible());
    EXPECT_TRUE(window->Playing());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->TrckVideo->Position() > 2000000; }, 5000));
    if (!screenshots.isEmpty())
        window->grab().save(QString::fromLocal8Bit(screenshots) + "/edit-watermark.png");
}
