#include "cli/ConvertOptions.h"

#include "core/U_TreelistFormat.h"

#include <QCommandLineParser>

namespace {

QCommandLineParser& Parser() {
    static QCommandLineParser parser;
    static bool built = false;
    if (built)
        return parser;
    built = true;
    parser.setApplicationDescription(QStringLiteral(
        "Converts media files as Reelcaster's Start does: every file becomes a job item with the "
        "settings of a new item (FLV video, MP3 sound) unless the options say otherwise.\n\n"
        "Examples:\n"
        "  reelcaster-cli convert holiday.mp4\n"
        "  reelcaster-cli convert -o ~/Videos/web -p 4 --size 640x360 a.mp4 b.avi\n"
        "  reelcaster-cli convert --clip 00:01:00+30 --watermark-image logo.png@10,10 talk.mkv\n"
        "  reelcaster-cli convert --merge -y part1.mp4 part2.mp4"));
    parser.addHelpOption();
    parser.addOptions({
        {{"o", "output-dir"},
         "Folder of the converted files (default: the data folder's Output). Example: -o /tmp/out",
         "DIR"},
        {{"p", "profile"},
         "Output profile 1 to 4 of Format.dat (default: the settings of a new item). Example: -p 4",
         "N"},
        {"size", "Output picture size. Example: --size 640x480", "WxH"},
        {"clip",
         "Convert only a piece: its start and length as hh:mm:ss or seconds. Example: --clip "
         "00:00:10+5",
         "START+LENGTH"},
        {"crop",
         "Crop rectangle in pixels of the picture as it is shown (upright): left, top, right, "
         "bottom. "
         "Example: --crop "
         "0,60,720,516",
         "L,T,R,B"},
        {"watermark-image",
         "Put a picture on the video at X,Y (output pixels), at its own size. Example: "
         "--watermark-image logo.png@10,20",
         "FILE@X,Y"},
        {"output-option",
         "Add a transcoder option to every output, as the extra options of an item do; may be "
         "given more than once. A \"vf\" filter chain runs after the item's own crop, scale and "
         "watermark. Example: --output-option vf=nativehue=0:-100",
         "NAME=VALUE"},
        {"merge", "Join all files, in order, into one output (Merge.flv)."},
        {{"j", "parallel"}, "Convert up to N files at once (default 1). Example: -j 2", "N"},
        {{"y", "overwrite"}, "Replace existing outputs; without it an existing output is skipped."},
        {{"q", "quiet"}, "Print nothing but errors."},
    });
    parser.addPositionalArgument("FILE", "Media files to convert.", "FILE...");
    return parser;
}

bool PositiveInt(const QString& text, int* value) {
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value > 0;
}

} // namespace

QString ConvertHelpText() {
    return Parser().helpText();
}

bool ParseConvertOptions(const QStringList& arguments, TConvertOptions& options, QString* error,
                         bool* help) {
    QCommandLineParser& parser = Parser();
    *help = false;
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet("help")) {
        *help = true;
        return true;
    }
    options.Files = parser.positionalArguments();
    if (options.Files.isEmpty()) {
        *error = QStringLiteral("no FILE given");
        return false;
    }
    options.OutputDir = parser.value("output-dir");
    if (parser.isSet("profile") &&
        (!PositiveInt(parser.value("profile"), &options.Profile) || options.Profile > 4)) {
        *error = QStringLiteral("--profile takes a number from 1 to 4");
        return false;
    }
    if (parser.isSet("size")) {
        int width = 0, height = 0;
        if (!ParseFrameSize(parser.value("size"), &width, &height) || width <= 0 || height <= 0) {
            *error = QStringLiteral("--size takes WIDTHxHEIGHT, for example 640x480");
            return false;
        }
        options.Size = parser.value("size");
    }
    if (parser.isSet("clip")) {
        const QStringList parts = parser.value("clip").split(QLatin1Char('+'));
        const auto start = parts.size() == 2 ? ParseTime(parts[0]) : std::nullopt;
        const auto length = parts.size() == 2 ? ParseTime(parts[1]) : std::nullopt;
        if (!start || !length || *length <= 0) {
            *error = QStringLiteral("--clip takes START+LENGTH, for example 00:00:10+5");
            return false;
        }
        options.Clip = std::make_pair(*start, *length);
    }
    if (parser.isSet("crop")) {
        const QStringList parts = parser.value("crop").split(QLatin1Char(','));
        std::array<int, 4> values{};
        bool ok = parts.size() == 4;
        for (int i = 0; ok && i < 4; ++i)
            values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || values[2] <= values[0] || values[3] <= values[1] || values[0] < 0 ||
            values[1] < 0) {
            *error = QStringLiteral("--crop takes LEFT,TOP,RIGHT,BOTTOM with right > left and "
                                    "bottom > top");
            return false;
        }
        options.Crop = TEdgeRect{values[0], values[1], values[2], values[3]};
    }
    if (parser.isSet("watermark-image")) {
        const QString value = parser.value("watermark-image");
        const qsizetype at = value.lastIndexOf(QLatin1Char('@'));
        const QStringList place =
            at > 0 ? value.mid(at + 1).split(QLatin1Char(',')) : QStringList();
        bool xOk = false, yOk = false;
        const int x = place.size() == 2 ? place[0].toInt(&xOk) : 0;
        const int y = place.size() == 2 ? place[1].toInt(&yOk) : 0;
        if (!xOk || !yOk || x < 0 || y < 0) {
            *error = QStringLiteral("--watermark-image takes FILE@X,Y, for example logo.png@10,20");
            return false;
        }
        options.WatermarkImage = value.left(at);
        options.WatermarkAt = QPoint(x, y);
    }
    for (const QString& option : parser.values("output-option")) {
        const qsizetype equals = option.indexOf(QLatin1Char('='));
        if (equals <= 0 || option.left(equals).trimmed().isEmpty() ||
            option.contains(QLatin1Char('\n')) || option.contains(QLatin1String("<CRLF>"))) {
            *error = QStringLiteral("--output-option takes NAME=VALUE on one line, for example "
                                    "vf=nativeeq=20:10");
            return false;
        }
        options.OutputOptions << option;
    }
    options.Merge = parser.isSet("merge");
    if (parser.isSet("parallel") && !PositiveInt(parser.value("parallel"), &options.Parallel)) {
        *error = QStringLiteral("--parallel takes a number of at least 1");
        return false;
    }
    options.Overwrite = parser.isSet("overwrite");
    options.Quiet = parser.isSet("quiet");
    return true;
}
