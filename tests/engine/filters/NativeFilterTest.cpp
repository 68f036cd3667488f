// The engine's own video filters: their arithmetic on pictures, their parameter text, where a
// graph text names them, and conversions through them (outputs read by ffprobe and by the
// engine's own decoding).

#include "engine/filters/NativeFilter.h"
#include "engine/filters/LiveValues.h"
#include "engine/filters/NativeFilterText.h"

#include "../transcoder/JobFixture.h"
#include "common/Process.h"

#include <QJsonArray>
#include <QJsonObject>

#include <functional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

// A picture whose planes hold a pattern of every sample value, so that each case sees all 256.
ffmpeg::FramePtr PatternFrame(AVPixelFormat format, int width, int height) {
    ffmpeg::FramePtr frame = ffmpeg::MakeFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    int shiftX = 0, shiftY = 0;
    av_pix_fmt_get_chroma_sub_sample(format, &shiftX, &shiftY);
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? width : AV_CEIL_RSHIFT(width, shiftX);
        const int h = plane == 0 ? height : AV_CEIL_RSHIFT(height, shiftY);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame->data[plane][y * frame->linesize[plane] + x] =
                    static_cast<uint8_t>((x * 7 + y * 13 + plane * 50) & 0xFF);
    }
    return frame;
}

// The samples of one plane (only the picture's part of each row).
std::vector<uint8_t> Plane(const AVFrame* frame, int plane) {
    int shiftX = 0, shiftY = 0;
    av_pix_fmt_get_chroma_sub_sample(static_cast<AVPixelFormat>(frame->format), &shiftX, &shiftY);
    const int w = plane == 0 ? frame->width : AV_CEIL_RSHIFT(frame->width, shiftX);
    const int h = plane == 0 ? frame->height : AV_CEIL_RSHIFT(frame->height, shiftY);
    std::vector<uint8_t> samples;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            samples.push_back(frame->data[plane][y * frame->linesize[plane] + x]);
    return samples;
}

// The formulas written out sample by sample, as a reference for the filters' own code.
uint8_t EqReference(int sample, int b, int c) {
    const int contrast = (c + 100) * 65536 / 100;
    const int brightness = (b + 100) * 511 / 200 - 128 - (contrast >> 9);
    return static_cast<uint8_t>(std::clamp(((sample * contrast) >> 16) + brightness, 0, 255));
}

std::pair<uint8_t, uint8_t> HueReference(int u, int v, int a, int s) {
    const long double theta = a * 3.14159265358979323846264338327950288L / 100;
    const int64_t sine =
        static_cast<int64_t>(std::floor(std::sin(theta) * 65536 * (s + 100) / 100 + 0.5L));
    const int64_t cosine =
        static_cast<int64_t>(std::floor(std::cos(theta) * 65536 * (s + 100) / 100 + 0.5L));
    const auto clamp = [](int64_t x) {
        return static_cast<uint8_t>(std::clamp<int64_t>(x, 0, 255));
    };
    return {clamp((cosine * (u - 128) - sine * (v - 128) + 0x808000) >> 16),
            clamp((sine * (u - 128) + cosine * (v - 128) + 0x808000) >> 16)};
}

bool All(const std::vector<uint8_t>& samples, uint8_t value) {
    return std::all_of(samples.begin(), samples.end(), [value](uint8_t s) { return s == value; });
}

} // namespace

class NativeFilterTest : public TJobFixture {
protected:
    void SetUp() override {
        TJobFixture::SetUp();
        logger->SetLogLevel(llDebug);
        RegisterNativeFilters();
    }

    QString Log() {
        std::lock_guard lock(logLock);
        return logged.join('\n');
    }
    // A line logged at `level` holds `text`.
    bool LoggedAt(TLogLevel level, const QString& text) {
        std::lock_guard lock(logLock);
        return std::any_of(logged.begin(), logged.end(), [&](const QString& line) {
            return line.startsWith(QString::number(level) + ' ') && line.contains(text);
        });
    }

    // A flat picture source, lossless, so that every output sample can be predicted.
    QString FlatSource(const char* name, const char* colour, const char* pixelFormat) {
        const QString file = Out(name);
        const TProcessResult made =
            RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                  QStringLiteral("color=c=%1:s=64x48:r=10:d=2").arg(colour),
                                  "-pix_fmt", pixelFormat, "-c:v", "ffv1", file});
        EXPECT_EQ(made.ExitCode, 0) << made.Err.toStdString();
        return file;
    }

    // Converts `input` losslessly through the graph text `filters`.
    RunResult ConvertThrough(const QString& input, const QString& output, const QString& filters,
                             const std::function<void(TCustomFFmpeg&)>& more = {}) {
        return Convert(input, output, [&](TCustomFFmpeg& job) {
            job.SetCodec("vcodec", "ffv1");
            job.SetVideoFilters(filters);
            if (more)
                more(job);
        });
    }

    // Per picture of `file`: the smallest and largest sample of `plane` ("y", "u", "v"), read
    // by ffprobe.
    static QList<std::pair<int, int>> ProbedRanges(const QString& file, const char* plane) {
        const TProcessResult probed =
            RunProgram("ffprobe", {"-v", "error", "-f", "lavfi", "-i",
                                   QStringLiteral("movie=%1,signalstats").arg(file),
                                   "-show_entries", "frame_tags", "-of", "json"});
        QList<std::pair<int, int>> ranges;
        const QString upper = QString::fromLatin1(plane).toUpper();
        for (const QJsonValue& frame : QJsonDocument::fromJson(probed.Out)["frames"].toArray()) {
            const QJsonObject tags = frame["tags"].toObject();
            ranges.append({tags["lavfi.signalstats." + upper + "MIN"].toString().toInt(),
                           tags["lavfi.signalstats." + upper + "MAX"].toString().toInt()});
        }
        return ranges;
    }

    // The same, for the luma, read by the engine's own decoding: a job that reads `file`.
    QList<std::pair<int, int>> DecodedLumaRanges(const QString& file) {
        QList<std::pair<int, int>> ranges;
        TCustomFFmpeg job;
        EXPECT_TRUE(job.OpenInputFile(file));
        job.OnFrameInputHook = [&ranges](TCustomFFmpeg&, const TFrameHookData& data) {
            const std::vector<uint8_t> luma = Plane(data.Picture, 0);
            const auto [low, high] = std::minmax_element(luma.begin(), luma.end());
            ranges.append({*low, *high});
        };
        job.SetCodec("vcodec", "ffv1");
        QFile::remove(Out("decoded.mkv"));
        EXPECT_GE(job.OpenOutputFile(Out("decoded.mkv")), 0);
        EXPECT_TRUE(Run(job).Finished);
        return ranges;
    }
};

// Every case on a yuv420p and a yuv422p picture of odd size (the last chroma row and column
// belong to the last pixels and must change with the others).
TEST_F(NativeFilterTest, ThePicturesChangeAsTheFormulasSay) {
    struct TCase {
        TNativeFilterKind Kind;
        const char* Parameters;
        // Checks the changed picture against the one before.
        std::function<void(const AVFrame& before, const AVFrame& after)> Check;
    };
    const auto unchanged = [](const AVFrame& before, const AVFrame& after) {
        for (int plane = 0; plane < 3; ++plane)
            EXPECT_EQ(Plane(&after, plane), Plane(&before, plane)) << "plane " << plane;
    };
    const auto lumaIs = [unchanged](uint8_t value) {
        return [value, unchanged](const AVFrame& before, const AVFrame& after) {
            EXPECT_TRUE(All(Plane(&after, 0), value));
            for (int plane = 1; plane < 3; ++plane)
                EXPECT_EQ(Plane(&after, plane), Plane(&before, plane));
        };
    };
    const auto eqFormula = [](int b, int c) {
        return [b, c](const AVFrame& before, const AVFrame& after) {
            const std::vector<uint8_t> in = Plane(&before, 0), out = Plane(&after, 0);
            for (size_t i = 0; i < in.size(); ++i)
                ASSERT_EQ(out[i], EqReference(in[i], b, c)) << "sample " << i;
        };
    };
    const auto hueFormula = [](int a, int s) {
        return [a, s](const AVFrame& before, const AVFrame& after) {
            EXPECT_EQ(Plane(&after, 0), Plane(&before, 0));
            const std::vector<uint8_t> u = Plane(&before, 1), v = Plane(&before, 2);
            const std::vector<uint8_t> u2 = Plane(&after, 1), v2 = Plane(&after, 2);
            for (size_t i = 0; i < u.size(); ++i)
                ASSERT_EQ(std::make_pair(u2[i], v2[i]), HueReference(u[i], v[i], a, s)) << i;
        };
    };
    const TCase cases[] = {
        {TNativeFilterKind::Eq, "0:0", unchanged},
        {TNativeFilterKind::Eq, "", unchanged},
        {TNativeFilterKind::Eq, "100:0", lumaIs(255)},
        {TNativeFilterKind::Eq, "-100:0", lumaIs(0)},
        {TNativeFilterKind::Eq, "0:-100", lumaIs(127)},
        {TNativeFilterKind::Eq, " 150 : 0 ", lumaIs(255)}, // forced to 100
        {TNativeFilterKind::Eq, "20:10", eqFormula(20, 10)},
        {TNativeFilterKind::Eq, "-35:60", eqFormula(-35, 60)},
        {TNativeFilterKind::Hue, "0:0", unchanged},
        {TNativeFilterKind::Hue, "0:-100",
         [](const AVFrame& before, const AVFrame& after) {
             EXPECT_EQ(Plane(&after, 0), Plane(&before, 0));
             EXPECT_TRUE(All(Plane(&after, 1), 128));
             EXPECT_TRUE(All(Plane(&after, 2), 128));
         }},
        {TNativeFilterKind::Hue, "100:0",
         [](const AVFrame& before, const AVFrame& after) {
             for (int plane = 1; plane < 3; ++plane) {
                 const std::vector<uint8_t> in = Plane(&before, plane), out = Plane(&after, plane);
                 for (size_t i = 0; i < in.size(); ++i)
                     ASSERT_EQ(out[i], std::min(256 - in[i], 255)) << "plane " << plane;
             }
         }},
        {TNativeFilterKind::Hue, "-30:50", hueFormula(-30, 50)},
        {TNativeFilterKind::Hue, "45:-20", hueFormula(45, -20)},
    };
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P}) {
        for (const TCase& test : cases) {
            SCOPED_TRACE(
                QStringLiteral("%1=%2 on %3")
                    .arg(NativeFilterName(test.Kind), test.Parameters, av_get_pix_fmt_name(format))
                    .toStdString());
            const ffmpeg::FramePtr before = PatternFrame(format, 33, 21);
            ffmpeg::FramePtr after = ffmpeg::MakeFrame();
            ASSERT_GE(av_frame_ref(after.get(), before.get()), 0);
            ASSERT_GE(av_frame_make_writable(after.get()), 0);
            const auto filter = TNativeFilter::Create(test.Kind, test.Parameters);
            ASSERT_TRUE(filter);
            filter->Filter(after.get());
            test.Check(*before, *after);
        }
    }
}

TEST_F(NativeFilterTest, ParametersAreCheckedAndLogged) {
    // Out of range: corrected, at error level, and the corrected value is what is logged after.
    ASSERT_TRUE(TNativeFilter::Create(TNativeFilterKind::Eq, "150:0"));
    EXPECT_TRUE(LoggedAt(llError, "[nativeeq @ 0x")) << Log().toStdString();
    EXPECT_TRUE(LoggedAt(llError, "Invalid brightness value 150, force to 100"));
    EXPECT_TRUE(LoggedAt(llDebug, "brightness:100, contrast:0"));
    ASSERT_TRUE(TNativeFilter::Create(TNativeFilterKind::Hue, "-30:-250"));
    EXPECT_TRUE(Log().contains(QStringLiteral("Invalid saturation value -250, force to -100")));
    EXPECT_TRUE(Log().contains(QStringLiteral("hue:-30, saturation:-100")));

    // Unreadable fields fail the instance with the reason.
    const struct {
        const char* Parameters;
        const char* Reason;
    } refused[] = {
        {"abc:0", "failed to parsing parameters: 'abc' is not a valid integer value"},
        {"0:1.5", "failed to parsing parameters: '1.5' is not a valid integer value"},
        {"0:0:x", "failed to parsing parameters: 'x' is not a valid integer value"},
        {"0:0:0:2:3", "failed to parsing parameters: '2:3' is not a valid integer value"},
        {"99999999999:0",
         "failed to parsing parameters: '99999999999' is not a valid integer value"},
    };
    for (const auto& test : refused) {
        logged.clear();
        EXPECT_FALSE(TNativeFilter::Create(TNativeFilterKind::Eq, test.Parameters))
            << test.Parameters;
        EXPECT_TRUE(LoggedAt(llError, test.Reason)) << Log().toStdString();
    }
}

// Fields 3 and 4 name live values by the handles the engine gives out; an address or any
// other number it did not give out is refused, a released handle too.
TEST_F(NativeFilterTest, LiveValuesAreNamedByHandlesOnly) {
    TLiveValue brightness(0), contrast(0);
    const auto filter = TNativeFilter::Create(
        TNativeFilterKind::Eq,
        QStringLiteral("0:0:%1:%2").arg(brightness.Handle()).arg(contrast.Handle()));
    ASSERT_TRUE(filter);
    ffmpeg::FramePtr frame = PatternFrame(AV_PIX_FMT_YUV420P, 16, 16);
    const std::vector<uint8_t> before = Plane(frame.get(), 0);
    filter->Filter(frame.get());
    EXPECT_EQ(Plane(frame.get(), 0), before); // both 0: untouched
    brightness.Set(100);
    filter->Filter(frame.get());
    EXPECT_TRUE(All(Plane(frame.get(), 0), 255));
    contrast.Set(-300); // corrected and written back
    filter->Filter(frame.get());
    EXPECT_EQ(contrast.Get(), -100);
    EXPECT_TRUE(Log().contains("Invalid contrast value -300, force to -100"));
    EXPECT_TRUE(Log().contains("brightness:100, contrast:-100"));

    int onTheStack = 0;
    const int released = CreateLiveValue(5);
    ReleaseLiveValue(released);
    for (const qint64 handle : {qint64(reinterpret_cast<quintptr>(&onTheStack)), qint64(released),
                                qint64(987654), qint64(-1)}) {
        logged.clear();
        EXPECT_FALSE(
            TNativeFilter::Create(TNativeFilterKind::Hue, QStringLiteral("0:0:%1").arg(handle)))
            << handle;
        EXPECT_TRUE(Log().contains(QStringLiteral("%1 is not a live value handle").arg(handle)))
            << Log().toStdString();
    }
    EXPECT_FALSE(SetLiveValue(released, 1));
    EXPECT_FALSE(LiveValue(released).has_value());
}

TEST_F(NativeFilterTest, GraphTextsAreCutOpenWhereTheyNameTheFilters) {
    const struct {
        const char* Text;
        const char* Spliced;
        std::vector<std::pair<TNativeFilterKind, QString>> Uses;
    } cases[] = {
        {"scale=320:240", "scale=320:240", {}},
        {"nativeeq=20:10",
         "null[rc_native_0_in];[rc_native_0_out]null",
         {{TNativeFilterKind::Eq, "20:10"}}},
        {"crop=160:120:0:0, nativehue=-30:50 ,scale=320:240",
         "crop=160:120:0:0, null[rc_native_0_in];[rc_native_0_out]null,scale=320:240",
         {{TNativeFilterKind::Hue, "-30:50"}}},
        {"[in]nativeeq@bright='1: 2'[a];[a]nativehue[out]",
         "[in]null[rc_native_0_in];[rc_native_0_out]null[a];[a]null[rc_native_1_in];[rc_native_1_"
         "out]null[out]",
         {{TNativeFilterKind::Eq, "1: 2"}, {TNativeFilterKind::Hue, ""}}},
        {"sws_flags=bicubic;nativeeq=\\1:0",
         "sws_flags=bicubic;null[rc_native_0_in];[rc_native_0_out]null",
         {{TNativeFilterKind::Eq, "1:0"}}},
        // Inside quotes and as an argument it is text, not a filter.
        {"drawtext=text='a,nativeeq=1',scale=nativehue:2",
         "drawtext=text='a,nativeeq=1',scale=nativehue:2",
         {}},
    };
    for (const auto& test : cases) {
        const TSplicedGraphText spliced = SpliceNativeFilters(QString::fromUtf8(test.Text));
        EXPECT_EQ(spliced.Text, QString::fromUtf8(test.Spliced)) << test.Text;
        ASSERT_EQ(spliced.Uses.size(), test.Uses.size()) << test.Text;
        for (size_t i = 0; i < test.Uses.size(); ++i) {
            EXPECT_EQ(spliced.Uses[i].Kind, test.Uses[i].first) << test.Text;
            EXPECT_EQ(spliced.Uses[i].Parameters, test.Uses[i].second) << test.Text;
        }
    }
}

// On a flat grey picture every output sample is what the formula predicts from the input's.
TEST_F(NativeFilterTest, AConversionThroughTheFiltersGivesThePredictedPictures) {
    const QString grey = FlatSource("grey.mkv", "0x808080", "yuv420p");
    const QList<std::pair<int, int>> source = ProbedRanges(grey, "y");
    ASSERT_FALSE(source.isEmpty());
    const int y = source.first().first;
    ASSERT_EQ(source.first().second, y);

    const struct {
        const char* Filters;
        int LumaLow, LumaHigh; // over the whole picture
    } cases[] = {
        {"nativeeq=20:10", EqReference(y, 20, 10), EqReference(y, 20, 10)},
        {"nativeeq=0:0", y, y},
        // Beside other filters, labels and a branch: the left half brightened, the rest kept.
        {"crop=32:48:0:0,nativeeq=100:0,scale=64:48", 255, 255},
        {"[in]split[a][b];[b]crop=32:48:0:0,nativeeq=100:0[left];[a][left]overlay=0:0[out]", y,
         255},
        // Twice in a row: darker then brighter again.
        {"nativeeq=-50:0,nativeeq=50:0", EqReference(EqReference(y, -50, 0), 50, 0),
         EqReference(EqReference(y, -50, 0), 50, 0)},
    };
    int n = 0;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Filters);
        const QString output = Out(QStringLiteral("eq%1.mkv").arg(n++));
        const RunResult result = ConvertThrough(grey, output, test.Filters);
        ASSERT_TRUE(result.Finished) << result.Error.toStdString() << Log().toStdString();
        const QList<std::pair<int, int>> probed = ProbedRanges(output, "y");
        ASSERT_EQ(probed.size(), 20);
        for (const auto& [low, high] : probed) {
            EXPECT_EQ(low, test.LumaLow);
            EXPECT_EQ(high, test.LumaHigh);
        }
        EXPECT_EQ(DecodedLumaRanges(output), probed);
    }
}

// A picture the filters do not take (RGB, say) is converted to one they take around them.
TEST_F(NativeFilterTest, OtherPixelFormatsAreConvertedAroundTheFilter) {
    const QString red = FlatSource("red.mkv", "red", "yuv444p");
    for (const char* filters : {"format=rgb24,nativehue=0:-100", "format=nv12,nativehue=0:-100"}) {
        SCOPED_TRACE(filters);
        const QString output = Out("grey.mkv");
        const RunResult result = ConvertThrough(red, output, filters);
        ASSERT_TRUE(result.Finished) << result.Error.toStdString() << Log().toStdString();
        for (const char* plane : {"u", "v"}) {
            for (const auto& [low, high] : ProbedRanges(output, plane)) {
                EXPECT_EQ(low, 128) << plane;
                EXPECT_EQ(high, 128) << plane;
            }
        }
        QFile::remove(output);
    }
}

// A live value changed while the conversion runs changes the pictures from the next one on.
TEST_F(NativeFilterTest, ALiveValueChangedDuringAConversionChangesTheNextPictures) {
    const QString grey = FlatSource("grey.mkv", "0x808080", "yuv420p");
    const int y = ProbedRanges(grey, "y").value(0).first;
    TLiveValue brightness(0);
    const QString output = Out("live.mkv");
    const RunResult result = ConvertThrough(
        grey, output, QStringLiteral("nativeeq=0:0:%1").arg(brightness.Handle()),
        [&brightness](TCustomFFmpeg& job) {
            job.OnFrameOutputHook = [&brightness](TCustomFFmpeg&, const TFrameHookData& data) {
                if (data.FrameNumber == 9)
                    brightness.Set(60);
            };
        });
    ASSERT_TRUE(result.Finished) << result.Error.toStdString();
    const QList<std::pair<int, int>> probed = ProbedRanges(output, "y");
    ASSERT_EQ(probed.size(), 20);
    for (int i = 0; i < probed.size(); ++i) {
        const int expected = i < 10 ? y : EqReference(y, 60, 0);
        EXPECT_EQ(probed[i], std::make_pair(expected, expected)) << "picture " << i;
    }
    EXPECT_TRUE(Log().contains("brightness:60, contrast:0"));
}

// A filter text the filters cannot read fails the job with the graph's message, and leaves
// no output behind.
TEST_F(NativeFilterTest, UnreadableParametersFailTheConversion) {
    const QString grey = FlatSource("grey.mkv", "0x808080", "yuv420p");
    int onTheStack = 0;
    const struct {
        QString Filters;
        QString Logged;
    } cases[] = {
        {"nativeeq=bright", "failed to parsing parameters: 'bright' is not a valid integer value"},
        {QStringLiteral("scale=32:24,nativehue=0:0:%1")
             .arg(reinterpret_cast<quintptr>(&onTheStack)),
         QStringLiteral("%1 is not a live value handle")
             .arg(reinterpret_cast<quintptr>(&onTheStack))},
        {"nativehue=0:0:0:424242", "424242 is not a live value handle"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Filters.toStdString());
        logged.clear();
        const QString output = Out("failed.mkv");
        const RunResult result = ConvertThrough(grey, output, test.Filters);
        EXPECT_FALSE(result.Finished);
        EXPECT_TRUE(result.Error.contains("Error opening filters: " + test.Filters))
            << result.Error.toStdString();
        EXPECT_TRUE(Log().contains(test.Logged)) << Log().toStdString();
        EXPECT_FALSE(QFile::exists(output));
    }
}
