#include "core/U_ConvertingParams.h"

#include "common/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

TFileOption Item(const QString& source, const QString& output) {
    TFileOption item;
    SetItemDefaults(item, source);
    item.OutputFrameSize = output;
    return item;
}

} // namespace

TEST(EncodeParams, TheWorkedExample) {
    TFileOption item = Item("720x576", "320x240");
    item.OutputOptions.FrameSize = "320x240";
    QList<TTextWaterMark> texts;
    BuildEncodeParams(item, 0, texts);
    EXPECT_EQ(item.OutputOptions.VideoFilters,
              "crop=720:576:0:0,pad=768.00:576.00:24.00:0.00,scale=320:240");
    EXPECT_TRUE(item.OutputOptions.FrameSize.isEmpty());
    EXPECT_EQ(item.CropRect, (TEdgeRect{0, 0, 720, 576}));

    item.WaterMarkType = wmPicture;
    item.WaterMark.ScaledPictureFile = "/pics/logo.png";
    item.WaterMark.PictureFile = "/pics/original.png";
    item.WaterMark.OutputRect = QRect(10, 20, 40, 30);
    BuildEncodeParams(item, 0, texts);
    EXPECT_EQ(item.OutputOptions.VideoFilters,
              "movie=/pics/logo.png [watermark1]; [in] crop=720:576:0:0,pad=768.00:576.00:"
              "24.00:0.00,scale=320:240 [video]; [video][watermark1] overlay=10:20 [out]");
    EXPECT_TRUE(texts.isEmpty());
}

// A chain in the extra options runs after the item's own, and alone without one; the extra
// text itself is kept for the next conversion.
TEST(EncodeParams, TheExtraOptionsChainComesLast) {
    QList<TTextWaterMark> texts;
    TFileOption item = Item("640x480", "320x240");
    item.OutputOptions.ExtOptions = "vb=200000<CRLF>vf=nativehue=0:-100";
    BuildEncodeParams(item, 0, texts);
    EXPECT_EQ(item.OutputOptions.VideoFilters,
              "crop=640:480:0:0,pad=640.00:480.00:0.00:0.00,scale=320:240,nativehue=0:-100");
    EXPECT_EQ(item.OutputOptions.ExtOptions, "vb=200000<CRLF>vf=nativehue=0:-100");

    item.WaterMarkType = wmPicture;
    item.WaterMark.ScaledPictureFile = "/pics/logo.png";
    item.WaterMark.OutputRect = QRect(10, 20, 40, 30);
    BuildEncodeParams(item, 0, texts);
    EXPECT_EQ(item.OutputOptions.VideoFilters,
              "movie=/pics/logo.png [watermark1]; [in] crop=640:480:0:0,pad=640.00:480.00:"
              "0.00:0.00,scale=320:240 [video]; [video][watermark1] overlay=10:20,"
              "nativehue=0:-100 [out]");

    TFileOption plain = Item("640x480", "");
    plain.OutputOptions.ExtOptions = "ab=64000\r\nvfilters=  hflip ";
    BuildEncodeParams(plain, 0, texts);
    EXPECT_EQ(plain.OutputOptions.VideoFilters, "hflip");
}

TEST(EncodeParams, Cases) {
    const struct {
        const char* Case;
        QString Source, Output;
        bool Crop;
        TEdgeRect CropRect;
        bool Merge;
        QString Filters;
    } cases[] = {
        {"same size", "640x480", "640x480", false, {}, false, "scale=640:480"},
        {"no output size", "640x480", "", false, {}, false, ""},
        {"merge of another size", "640x480", "320x240", false, {}, true, "scale=320:240"},
        {"source at the output aspect",
         "640x480",
         "320x240",
         false,
         {},
         false,
         "crop=640:480:0:0,pad=640.00:480.00:0.00:0.00,scale=320:240"},
        {"wider source",
         "640x360",
         "320x240",
         false,
         {},
         false,
         "crop=640:360:0:0,pad=640.00:480.00:0.00:60.00,scale=320:240"},
        {"crop",
         "640x480",
         "640x480",
         true,
         {10, 20, 330, 260},
         false,
         "crop=320:240:10:20,pad=320.00:240.00:0.00:0.00,scale=640:480"},
        {"crop on a merge",
         "640x480",
         "320x240",
         true,
         {0, 0, 320, 240},
         true,
         "crop=320:240:0:0,pad=320.00:240.00:0.00:0.00,scale=320:240"},
        // Sizes that would divide by zero produce nothing: the item converts at its size.
        {"no video", "0x0", "0x0", false, {}, false, ""},
        {"zero output width", "640x480", "0x480", false, {}, false, ""},
        {"unreadable size", "640x480", "big", false, {}, false, ""},
        {"empty crop", "640x480", "320x240", true, {5, 5, 5, 5}, false, "scale=320:240"},
    };
    for (const auto& c : cases) {
        TFileOption item = Item(c.Source, c.Output);
        item.CropEnabled = c.Crop;
        item.CropRect = c.CropRect;
        item.IsMerge = c.Merge;
        item.OutputOptions.FrameSize = "keep";
        QList<TTextWaterMark> texts;
        BuildEncodeParams(item, 3, texts);
        EXPECT_EQ(item.OutputOptions.VideoFilters, c.Filters) << c.Case;
        EXPECT_EQ(item.OutputOptions.FrameSize.isEmpty(), !c.Output.isEmpty()) << c.Case;
    }
}

TEST(EncodeParams, TextWatermarksAskForTheOutputHook) {
    TFileOption item = Item("320x240", "320x240");
    item.WaterMarkType = wmText;
    item.WaterMark.WaterMarkText = "Hello";
    QList<TTextWaterMark> texts;
    BuildEncodeParams(item, 4, texts);
    EXPECT_EQ(item.OutputOptions.VideoFilters, "scale=320:240") << "no filter for the text";
    EXPECT_TRUE(item.OutputOptions.VideoOutputHook);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0].TaskIndex, 4);
    EXPECT_EQ(texts[0].WaterMark.WaterMarkText, "Hello");
}

TEST(EncodeParams, PicturePathsAreQuotedForTheGraph) {
    const struct {
        const char* Path;
        const char* Quoted;
    } cases[] = {
        {"/a/logo.png", "/a/logo.png"},           {"/a/b,c.png", "/a/b\\,c.png"},
        {"/a/x;y[1].png", "/a/x\\;y\\[1\\].png"}, {"/a/it's.png", "/a/it\\\\\\'s.png"},
        {"/a/c:d.png", "/a/c\\\\:d.png"},         {"/a/my logo.png", "/a/my\\ logo.png"},
        {"/tmp/t=1/x.png", "/tmp/t\\\\=1/x.png"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FilterGraphPath(c.Path).toStdString(), c.Quoted) << c.Path;

    TFileOption item = Item("320x240", "320x240");
    item.WaterMarkType = wmPicture;
    item.WaterMark.PictureFile = "/a/b,c.png";
    QList<TTextWaterMark> texts;
    BuildEncodeParams(item, 0, texts);
    EXPECT_EQ(item.OutputOptions.VideoFilters,
              "movie=/a/b\\,c.png [watermark1]; [in] scale=320:240 [video]; [video][watermark1] "
              "overlay=0:0 [out]");
    item.OutputFrameSize.clear();
    BuildEncodeParams(item, 0, texts);
    EXPECT_EQ(item.OutputOptions.VideoFilters,
              "movie=/a/b\\,c.png [watermark1]; [in] [watermark1] overlay=0:0 [out]");
}
