#include "core/MrvLog.h"
#include "core/U_TreelistFormat.h"
#include "core/U_TreelistModel.h"

#include "engine/FFLoad.h"
#include "engine/probe/FFDecode.h"

#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFile>
#include <QFontMetrics>
#include <QLocale>
#include <QTemporaryDir>

namespace {

// Complaints of the model tester, which checks every change the model announces.
QStringList& ModelComplaints() {
    static QStringList complaints;
    return complaints;
}

void RecordModelComplaints(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (context.category != nullptr && QLatin1String(context.category) == "qt.modeltest")
        ModelComplaints() << text;
}

class JobListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        previousHandler = qInstallMessageHandler(RecordModelComplaints);
        tester = std::make_unique<QAbstractItemModelTester>(
            &list, QAbstractItemModelTester::FailureReportingMode::Warning);
        StartActivityLog(logDir.path());
    }
    void TearDown() override {
        ReleaseActivityLog();
        tester.reset();
        qInstallMessageHandler(previousHandler);
        EXPECT_TRUE(ModelComplaints().isEmpty()) << ModelComplaints().join('\n').toStdString();
        ModelComplaints().clear();
    }

    TJobRow* Add(const char* media) {
        EXPECT_TRUE(list.AddSourceFile(testmedia::Path(media), decoder, folder));
        return list.TopLevel(list.TopLevelCount() - 1);
    }
    // A plain item with clips made through the clip list, as the clip window does.
    void CommitClips(TJobRow* owner, int count) {
        ClipList().clear();
        for (int i = 0; i < count; ++i) {
            TClipFile clip;
            clip.ClipName = QStringLiteral("clip%1").arg(i + 1);
            clip.StartTime = i * 1000000;
            clip.ClipDuration = 1000000;
            clip.EndTime = clip.StartTime + clip.ClipDuration;
            SetClipDefaults(clip, owner->Item.SourceFrameSize);
            ClipList().append(clip);
        }
        list.SetFocused(owner);
        list.CommitClipList(folder);
    }
    QString Log() {
        QFile file(logDir.filePath("Log/log1.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir logDir;
    const QString folder = QStringLiteral("/videos/out/");
    TFFDecoder decoder;
    TJobList list;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QtMessageHandler previousHandler = nullptr;
};

} // namespace

TEST_F(JobListTest, AddingTheSameFileGivesUniqueNames) {
    for (int i = 0; i < 3; ++i)
        Add(testmedia::kH264Aac);
    ASSERT_EQ(list.TopLevelCount(), 3);
    const QStringList names = {"h264_aac.flv", "h264_aac_1.flv", "h264_aac_2.flv"};
    for (int i = 0; i < 3; ++i) {
        const TJobRow* row = list.TopLevel(i);
        EXPECT_EQ(row->Item.OutputOptions.FileName, folder + names[i]);
        EXPECT_TRUE(row->Checked);
        EXPECT_EQ(row->Item.SourceFrameSize, "320x240");
        EXPECT_EQ(row->Item.OutputFrameSize, "320x240");
        EXPECT_EQ(row->Item.FormatIndex, 1);
        EXPECT_EQ(row->Item.OutputOptions.VideoCodec, "flv");
        EXPECT_EQ(row->Item.OutputOptions.AudioCodec, "libmp3lame");
        EXPECT_EQ(row->Item.OutputOptions.Info.Timestamp, 0.0);
        EXPECT_EQ(row->Item.InputOptions.StartTime, kTimeNotSet);
        EXPECT_NEAR(row->Item.Duration, 5000000, 50000);
    }
    EXPECT_TRUE(list.TopLevel(2)->Selected) << "the new row is selected and focused";
    EXPECT_FALSE(list.TopLevel(0)->Selected);
    EXPECT_EQ(list.Focused(), list.TopLevel(2));
    EXPECT_EQ(decoder.FormatContext(), nullptr) << "the probe is closed again";
    EXPECT_TRUE(Log().contains("    Success to Load File " + testmedia::Path(testmedia::kH264Aac) +
                               "\r\n" + QString(23, ' ') + "Video Encoder: [h264("));
}

TEST_F(JobListTest, AFileThatCannotBeOpenedIsNotAdded) {
    const QString path = testmedia::Path(testmedia::kRandomBytes);
    EXPECT_FALSE(list.AddSourceFile(path, decoder, folder));
    EXPECT_EQ(list.TopLevelCount(), 0);
    const QString log = Log();
    EXPECT_TRUE(log.contains("  " + path + ": Invalid data found when processing input\r\n"));
    EXPECT_TRUE(log.contains("  Failed to load File  " + path + "\r\n"));
}

TEST_F(JobListTest, ASourceWithoutVideoIsAddedWithNoSize) {
    const TJobRow* row = Add(testmedia::kAudioOnly);
    EXPECT_EQ(row->Item.SourceFrameSize, "0x0");
}

TEST_F(JobListTest, ColumnsIconsAndHints) {
    std::array<QIcon, TJobList::RowIconCount> icons;
    for (int i = 0; i < TJobList::RowIconCount; ++i) {
        QPixmap pixmap(8, 8);
        pixmap.fill(QColor(i * 80, 0, 0));
        icons[i] = QIcon(pixmap);
    }
    list.SetRowIcons(icons);
    TJobRow* plain = Add(testmedia::kH264Aac);
    CommitClips(plain, 1);
    Add(testmedia::kMpeg4Mp3Avi);
    list.SetSelected(list.TopLevel(0), true);
    list.SetSelected(list.TopLevel(1), true);
    TJobRow* merge = list.MergeSelected(folder);
    ASSERT_NE(merge, nullptr);

    auto text = [&](const TJobRow* row, int column) {
        return list.data(list.IndexOf(row, column), Qt::DisplayRole).toString();
    };
    EXPECT_EQ(text(plain, TJobList::ColInput), "h264_aac.mp4");
    EXPECT_EQ(text(plain, TJobList::ColTotalTime), "00:00:05");
    EXPECT_FALSE(plain->Checked) << "its clip is converted instead";
    EXPECT_EQ(text(plain, TJobList::ColOutputName), "") << "unchecked: no output name";
    EXPECT_FALSE(list.flags(list.IndexOf(plain, TJobList::ColOutputName)) & Qt::ItemIsEditable);
    const TJobRow* clip = plain->Children.front().get();
    EXPECT_EQ(text(clip, TJobList::ColInput), "clip1");
    EXPECT_EQ(text(clip, TJobList::ColFileSize), "-");
    EXPECT_EQ(text(clip, TJobList::ColTotalTime), "00:00:01");
    EXPECT_EQ(text(merge, TJobList::ColFileSize), "-");
    EXPECT_EQ(text(merge, TJobList::ColInput),
              QStringLiteral("Merge_%1.flv").arg(TJobList::MergeNumber()));
    EXPECT_EQ(text(merge, TJobList::ColOutputName), "Merge.flv");

    auto icon = [&](const TJobRow* row) {
        return list.data(list.IndexOf(row), Qt::DecorationRole).value<QIcon>().cacheKey();
    };
    EXPECT_EQ(icon(plain), icons[TJobList::riPlainItem].cacheKey());
    EXPECT_EQ(icon(merge), icons[TJobList::riMergeItem].cacheKey());
    EXPECT_EQ(icon(clip), icons[TJobList::riClip].cacheKey());
    EXPECT_EQ(icon(merge->Children.front().get()), icons[TJobList::riPlainItem].cacheKey())
        << "a member";

    EXPECT_EQ(list.data(list.IndexOf(clip, TJobList::ColInput), Qt::ToolTipRole), "clip1");
    EXPECT_EQ(list.data(list.IndexOf(clip, TJobList::ColOutputName), Qt::ToolTipRole).toString(),
              "h264_aac_1.flv");
    EXPECT_FALSE(list.data(list.IndexOf(clip, TJobList::ColTotalTime), Qt::ToolTipRole).isValid());

    plain->Item.Duration = -1;
    EXPECT_EQ(text(plain, TJobList::ColTotalTime), "") << "an unknown length shows nothing";
    EXPECT_EQ(list.headerData(3, Qt::Horizontal, Qt::DisplayRole), "Output Name");
}

TEST_F(JobListTest, RenameRule) {
    for (int i = 0; i < 3; ++i)
        Add(testmedia::kH264Aac);
    TJobRow* first = list.TopLevel(0);
    const QModelIndex cell = list.IndexOf(first, TJobList::ColOutputName);
    EXPECT_EQ(list.data(cell, Qt::EditRole), "h264_aac") << "the editor shows no extension";

    EXPECT_FALSE(list.setData(cell, "h264_aac", Qt::EditRole)) << "its own name: no change";
    EXPECT_FALSE(list.setData(cell, "", Qt::EditRole));
    EXPECT_TRUE(list.setData(cell, "h264_aac_1", Qt::EditRole));
    EXPECT_EQ(first->Item.OutputOptions.FileName, folder + "h264_aac_1_1.flv")
        << "a name another row uses gets _1";
    EXPECT_TRUE(list.setData(cell, "holiday", Qt::EditRole));
    EXPECT_EQ(first->Item.OutputOptions.FileName, folder + "holiday.flv");

    list.SetChecked(first, false);
    EXPECT_FALSE(list.Rename(first, "other")) << "unchecked rows are not renamed";
}

// Names are cut at the last dot of the file-name part only; the folder is kept as written.
TEST(OutputNames, ExtensionsAreTheFileNamesOwn) {
    TJobList list;
    const struct {
        const char* Path;
        const char* Expected;
    } cases[] = {
        {"/v.d/out/clip.mp4", "/v.d/out/clip.flv"},      {"/v.d/out/clip", "/v.d/out/clip.flv"},
        {"/v.d/out/a.b.c", "/v.d/out/a.b.flv"},          {"/v.d/out/.hidden", "/v.d/out/.flv"},
        {"/v.d/out/trailing.", "/v.d/out/trailing.flv"}, {"relative.mov", "relative.flv"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(list.MakeUniqueOutputName(QString::fromUtf8(c.Path), "flv", "_", nullptr),
                  c.Expected)
            << c.Path;
    }
}

TEST(Formatting, FileSizesSecondsAndFittedTexts) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        int64_t Bytes;
        const char* Text;
    } sizes[] = {{0, "0.00 B"},
                 {1024, "1,024.00 B"},
                 {1025, "1.00 K"},
                 {1536 * 1024, "1.50 M"},
                 {1024LL * 1024 * 1024, "1,024.00 M"},
                 {3LL * 1024 * 1024 * 1024, "3.00 G"}};
    for (const auto& s : sizes)
        EXPECT_EQ(FormatFileSize(s.Bytes).toStdString(), s.Text) << s.Bytes;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatFileSize(1024), "1.024,00 B");
    QLocale::setDefault(QLocale::c());

    const struct {
        int64_t Seconds;
        const char* Text;
    } times[] = {{0, "00:00:00"},     {59, "00:00:59"},    {3661, "01:01:01"},
                 {86399, "23:59:59"}, {86400, "24:00:00"}, {360000, "100:00:00"},
                 {-5, "00:00:00"}};
    for (const auto& t : times) {
        EXPECT_EQ(FormatSeconds(t.Seconds).toStdString(), t.Text);
        if (t.Seconds >= 0) {
            bool ok = false;
            EXPECT_EQ(ParseSeconds(t.Text, &ok), t.Seconds);
            EXPECT_TRUE(ok);
        }
    }
    bool ok = true;
    EXPECT_EQ(ParseSeconds("1:2", &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ParseSeconds("01:xx:03", &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ParseSeconds("00:00:01.5", &ok), 0) << "whole seconds only";
    EXPECT_FALSE(ok);

    const struct {
        const char* Text;
        std::optional<int64_t> Microseconds;
    } typed[] = {{"90", 90000000},
                 {"1:30", 90000000},
                 {"00:01:30", 90000000},
                 {" 1:02:03.25 ", 3723250000},
                 {"0.0000005", 1},
                 {"2.", std::nullopt},
                 {".5", std::nullopt},
                 {"-1", std::nullopt},
                 {"1:2:3:4", std::nullopt},
                 {"", std::nullopt},
                 {"1::3", std::nullopt},
                 {"+5", std::nullopt},
                 {"99999999999:00:00", std::nullopt}};
    for (const auto& t : typed)
        EXPECT_EQ(ParseTime(t.Text), t.Microseconds) << t.Text;

    const QFontMetrics metrics{QFont()};
    const int letter = metrics.horizontalAdvance('a');
    EXPECT_EQ(FitLabelText(metrics, letter * 10, "abcdefghij"), "abcdefghij");
    EXPECT_EQ(FitLabelText(metrics, letter * 10, "abcdefghijk"), "abcdefg...");
    EXPECT_EQ(FitLabelText(metrics, letter * 2, "abcdefghijk"), "...");
}

TEST_F(JobListTest, SelectedItemAndClipOwner) {
    TJobRow* a = Add(testmedia::kH264Aac);
    TJobRow* b = Add(testmedia::kH264Aac);
    CommitClips(a, 2);
    list.DeselectAll();
    EXPECT_EQ(list.GetSelectedItem(), nullptr);
    list.SetSelected(a->Children[1].get(), true);
    EXPECT_EQ(list.GetSelectedItem(), a->Children[1].get());
    list.SetSelected(b, true);
    EXPECT_EQ(list.GetSelectedItem(), b) << "a selected top-level row comes first";
    list.SetFocused(a->Children[0].get());
    EXPECT_EQ(list.GetClipOwner(), a);
    list.SetFocused(b);
    EXPECT_EQ(list.GetClipOwner(), b);
}

TEST_F(JobListTest, CommittingTwoClipsOverThree) {
    TJobRow* owner = Add(testmedia::kH264Aac);
    CommitClips(owner, 3);
    ASSERT_EQ(owner->Children.size(), 3u);
    EXPECT_FALSE(owner->Checked);
    const QString firstName = owner->Children[0]->Item.OutputOptions.FileName;
    EXPECT_EQ(firstName, folder + "h264_aac_1.flv");
    EXPECT_EQ(owner->Children[2]->Item.OutputOptions.FileName, folder + "h264_aac_3.flv");
    EXPECT_EQ(owner->Children[1]->Item.InputOptions.StartTime, 1000000);
    EXPECT_EQ(owner->Children[1]->Item.InputOptions.FileName, owner->Item.InputOptions.FileName);

    list.SetChecked(owner, true);
    list.LoadClipList(owner);
    ASSERT_EQ(ClipList().size(), 3);
    EXPECT_EQ(ClipList()[2].EndTime, 3000000);
    ClipList().removeLast();
    ClipList()[0].StartTime = 500000;
    ClipList()[0].ClipDuration = 2000000;
    ClipList()[0].OutputOptions.FileName = "/elsewhere/x.flv";
    list.SetFocused(owner->Children[1].get());
    list.CommitClipList(folder);

    ASSERT_EQ(owner->Children.size(), 2u);
    const TFileOption& first = owner->Children[0]->Item;
    EXPECT_EQ(first.InputOptions.StartTime, 500000);
    EXPECT_EQ(first.OutputOptions.Duration, 2000000);
    EXPECT_EQ(first.Duration, 2000000);
    EXPECT_EQ(first.OutputOptions.FileName, firstName) << "an updated clip keeps its output name";
    EXPECT_EQ(first.DisplayName, "clip1");
    EXPECT_FALSE(owner->Checked);
    EXPECT_TRUE(ClipList().isEmpty());
}

TEST_F(JobListTest, ChangingTheOutputFolder) {
    TJobRow* a = Add(testmedia::kH264Aac);
    CommitClips(a, 1);
    Add(testmedia::kMpeg4Mp3Avi);
    list.SetSelected(list.TopLevel(0), true);
    list.SetSelected(list.TopLevel(1), true);
    TJobRow* merge = list.MergeSelected(folder);
    const QString memberName = merge->Children[0]->Item.OutputOptions.FileName;

    list.ChangeOutputFolder("/new/");
    EXPECT_EQ(a->Item.OutputOptions.FileName, "/new/h264_aac.flv");
    EXPECT_EQ(a->Children[0]->Item.OutputOptions.FileName, "/new/h264_aac_1.flv");
    EXPECT_EQ(merge->Item.OutputOptions.FileName, "/new/Merge.flv");
    EXPECT_EQ(merge->Children[0]->Item.OutputOptions.FileName, memberName) << "members keep theirs";
}

TEST_F(JobListTest, MergingSelectedRows) {
    TJobRow* a = Add(testmedia::kH264Aac);
    CommitClips(a, 2);
    TJobRow* b = Add(testmedia::kMpeg4Mp3Avi);
    list.DeselectAll();
    EXPECT_EQ(list.MergeSelected(folder), nullptr) << "fewer than two rows";
    list.SetSelected(b, true);
    EXPECT_EQ(list.MergeSelected(folder), nullptr);

    list.SetSelected(a->Children[1].get(), true);
    const int number = TJobList::MergeNumber() + 1;
    TJobRow* merge = list.MergeSelected(folder);
    ASSERT_NE(merge, nullptr);
    EXPECT_EQ(merge->Item.DisplayName, QStringLiteral("Merge_%1.flv").arg(number));
    EXPECT_TRUE(merge->Item.IsMerge);
    EXPECT_TRUE(merge->Item.OutputOptions.Join);
    EXPECT_TRUE(merge->Checked);
    EXPECT_TRUE(merge->Selected);
    EXPECT_EQ(list.SelectedCount(), 1);
    ASSERT_EQ(merge->Children.size(), 2u);
    EXPECT_EQ(merge->Children[0]->Item.InputOptions.StartTime, 1000000) << "the clip first";
    EXPECT_EQ(merge->Children[1]->Item.InputOptions.FileName, b->Item.InputOptions.FileName);
    EXPECT_FALSE(b->Checked) << "a plain item taken whole is unchecked";
    EXPECT_TRUE(a->Children[1]->Checked) << "a clip keeps its check box";
    EXPECT_EQ(merge->Item.Duration, 1000000 + b->Item.Duration);
    EXPECT_EQ(merge->Item.InputOptions.StartTime, 1000000);
    EXPECT_EQ(merge->Item.SourceFrameSize, "320x240");
    // A member converts its source with the source's settings, at the source's size, but does
    // not take its name in the list or its profile.
    const TFileOption& member = merge->Children[0]->Item;
    const TFileOption& clip = a->Children[1]->Item;
    EXPECT_EQ(member.OutputOptions, clip.OutputOptions);
    EXPECT_EQ(member.InputOptions, clip.InputOptions);
    EXPECT_EQ(member.WaterMark, clip.WaterMark);
    EXPECT_EQ(member.Duration, clip.Duration);
    EXPECT_EQ(member.OutputFrameSize, clip.SourceFrameSize);
    EXPECT_TRUE(member.DisplayName.isEmpty());
    EXPECT_FALSE(member.IsMerge);
    EXPECT_EQ(member.FormatIndex, 0);

    // A merge of the merge and a plain item copies the old members.
    list.DeselectAll();
    list.SetSelected(merge, true);
    list.SetSelected(a, true);
    TJobRow* second = list.MergeSelected(folder);
    ASSERT_EQ(second->Children.size(), 3u);
    EXPECT_EQ(second->Item.DisplayName, QStringLiteral("Merge_%1.flv").arg(number + 1));
    EXPECT_EQ(second->Item.OutputOptions.FileName, folder + "Merge_1.flv");
    EXPECT_TRUE(merge->Checked) << "the old merge item stays as it was";
}

TEST_F(JobListTest, RemovingMembersKeepsMergeItemsRight) {
    TJobRow* a = Add(testmedia::kH264Aac);
    TJobRow* b = Add(testmedia::kMpeg4Mp3Avi);
    TJobRow* c = Add(testmedia::kVideoOnly);
    for (TJobRow* row : {a, b, c})
        list.SetSelected(row, true);
    TJobRow* merge = list.MergeSelected(folder);
    const int64_t total = merge->Item.Duration;
    const int64_t firstLength = merge->Children[0]->Item.Duration;

    list.DeselectAll();
    list.SetSelected(merge->Children[0].get(), true);
    list.RemoveSelectedItems();
    ASSERT_EQ(merge->Children.size(), 2u);
    EXPECT_EQ(merge->Item.Duration, total - firstLength);
    EXPECT_EQ(merge->Item.InputOptions.FileName, b->Item.InputOptions.FileName)
        << "the next member becomes its source";

    for (const auto& member : merge->Children)
        list.SetSelected(member.get(), true);
    list.RemoveSelectedItems();
    EXPECT_EQ(list.TopLevelCount(), 3) << "the merge item went with all its members";

    list.SetAllChecked(false);
    EXPECT_FALSE(list.HasCheckedItem());
    list.SetChecked(list.TopLevel(2), true);
    EXPECT_TRUE(list.HasCheckedItem());
    list.SetAllChecked(true);
    for (const TJobRow* row : list.AllRows())
        EXPECT_TRUE(row->Checked);
}

TEST_F(JobListTest, DeletingChildrenFromAClip) {
    TJobRow* owner = Add(testmedia::kH264Aac);
    CommitClips(owner, 4);
    list.DeleteChildrenFrom(owner->Children[1].get(), false);
    EXPECT_EQ(owner->Children.size(), 2u);
    list.DeleteChildrenFrom(owner->Children[0].get(), true);
    EXPECT_TRUE(owner->Children.empty());
}
