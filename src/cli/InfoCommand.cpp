#include "cli/InfoCommand.h"

#include "cli/MediaInfoFields.h"
#include "engine/FFLoad.h"
#include "engine/FFmpegException.h"
#include "engine/probe/FFDecode.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <cstdio>

namespace {

QString PlainValue(const QJsonValue& value) {
    if (value.isString())
        return value.toString();
    if (value.isDouble() && value.toDouble() != double(value.toInteger()))
        return QString::number(value.toDouble(), 'g', 6);
    return QString::number(value.toInteger());
}

void PrintFields(QTextStream& out, const TFieldList& fields, int indent) {
    for (const auto& [name, value] : fields) {
        if (name == QLatin1String("index"))
            continue;
        out << QString(indent, QLatin1Char(' ')) << (name + QLatin1Char(':')).leftJustified(26)
            << PlainValue(value) << '\n';
    }
}

void PrintStreams(QTextStream& out, const QList<TFieldList>& streams, const char* kind) {
    for (const TFieldList& stream : streams) {
        out << "  " << kind << " stream #" << PlainValue(stream.first().second) << '\n';
        PrintFields(out, stream, 4);
    }
}

} // namespace

int RunInfoCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows what Reelcaster finds in media files: container facts, tags and "
                       "every video and audio stream.\n\nExample: reelcaster-cli info --json "
                       "holiday.mp4 clip.avi"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON document.")});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Media files to probe."),
                                 QStringLiteral("FILE..."));
    QTextStream err(stderr);
    if (!parser.parse(arguments)) {
        err << "reelcaster-cli info: " << parser.errorText() << "\n\n" << parser.helpText();
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        err << "reelcaster-cli info: no FILE given\n\n" << parser.helpText();
        return 2;
    }
    if (!FFLoader().LoadLibraries(TLibrarySet::All())) {
        err << "reelcaster-cli: " << FFLoader().LastError() << '\n';
        return 1;
    }

    const bool json = parser.isSet(QStringLiteral("json"));
    QTextStream out(stdout);
    QJsonArray documents;
    bool allOpened = true;
    TFFDecoder decoder;
    for (const QString& file : files) {
        bool opened = false;
        try {
            opened = decoder.LoadFile(file);
        } catch (const FFmpegException& error) {
            err << "reelcaster-cli: " << error.Message() << '\n';
            return 1;
        }
        if (!opened) {
            allOpened = false;
            if (json)
                documents.append(QJsonObject{{"FileName", file}, {"error", decoder.LastErrMsg()}});
            else
                err << decoder.LastErrMsg() << '\n';
            continue;
        }
        const TMediaInfoFields fields = CollectMediaInfo(decoder);
        decoder.CloseFile();
        if (json) {
            QJsonObject object = ToJson(fields.File);
            QJsonArray video;
            QJsonArray audio;
            for (const TFieldList& stream : fields.Video)
                video.append(ToJson(stream));
            for (const TFieldList& stream : fields.Audio)
                audio.append(ToJson(stream));
            object.insert("video", video);
            object.insert("audio", audio);
            documents.append(object);
        } else {
            out << file << '\n';
            PrintFields(out, fields.File, 2);
            PrintStreams(out, fields.Video, "Video");
            PrintStreams(out, fields.Audio, "Audio");
            out << '\n';
        }
    }
    if (json)
        out << QJsonDocument(documents).toJson(QJsonDocument::Indented);
    return allOpened ? 0 : 1;
}
