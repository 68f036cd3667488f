#include "core/U_XML.h"

#include "core/MrvLog.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

QString ChildText(const QDomElement& parent, const char* name) {
    return parent.firstChildElement(QLatin1String(name)).text();
}

} // namespace

QList<TOOXML>& FormatProfiles() {
    static QList<TOOXML> profiles;
    return profiles;
}

bool LoadFormatFile(QDomDocument& document, const QString& fileName) {
    document.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return static_cast<bool>(document.setContent(&file));
}

void ReadFormatProfiles(const QDomDocument& document) {
    QList<TOOXML>& profiles = FormatProfiles();
    profiles.clear();
    for (QDomElement row = document.documentElement().firstChildElement(); !row.isNull();
         row = row.nextSiblingElement()) {
        TOOXML profile;
        profile.Id = row.attribute(QStringLiteral("id"));
        profile.Name = ChildText(row, "Name");
        const QDomElement video = row.firstChildElement(QStringLiteral("Video"));
        profile.VEncoder = ChildText(video, "Encoder");
        profile.VFrameRate = ChildText(video, "FrameRate");
        profile.VBitRate = ChildText(video, "BitRate");
        profile.VFormat = ChildText(video, "Format");
        const QDomElement audio = row.firstChildElement(QStringLiteral("Audio"));
        profile.AEncoder = ChildText(audio, "Encoder");
        profile.AChannel = ChildText(audio, "Channel");
        profile.ASampleRate = ChildText(audio, "SmapleRate");
        profile.ABitRate = ChildText(audio, "BitRate");
        profiles.append(profile);
    }
}

bool LoadFormatProfiles(const QString& fileName) {
    QDomDocument document;
    if (!LoadFormatFile(document, fileName)) {
        ActivityLog().WriteError(QStringLiteral("Load [Format.dat] failed."));
        return false;
    }
    ReadFormatProfiles(document);
    ActivityLog().WriteInfo(QStringLiteral("Load [Format.dat] successful."));
    return true;
}

QStringList FillComboFromList(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[,\\r\\n]"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QString AacEncoderName() {
    return avcodec_find_encoder_by_name("libfaac") != nullptr ? QStringLiteral("libfaac")
                                                              : QStringLiteral("aac");
}

QString LeadingWord(const QString& entry) {
    const qsizetype blank = entry.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : entry.left(blank);
}

QString VideoCodecOfEntry(const QString& entry) {
    const QString word = LeadingWord(entry);
    return word == QLatin1String("H.264") ? QStringLiteral("libx264") : word.toLower();
}

QString FrameRateOfEntry(const QString& entry) {
    return entry == QLatin1String("original") ? QString() : LeadingWord(entry);
}

QString FileExtOfEntry(const QString& entry) {
    return QLatin1Char('.') + entry.toLower();
}

QString AudioCodecOfEntry(const QString& entry) {
    return entry == QLatin1String("MP3 Audio") ? QStringLiteral("libmp3lame") : AacEncoderName();
}

int ChannelsOfEntry(const QString& entry) {
    return entry == QLatin1String("Stereo") ? 2 : 1;
}

int BitRateOfEntry(const QString& entry, bool* ok) {
    return LeadingWord(entry).toInt(ok) * 1000;
}

int SampleRateOfEntry(const QString& entry, bool* ok) {
    return LeadingWord(entry).toInt(ok);
}

int VideoCodecEntry(const QStringList& entries, const QString& codec) {
    for (int i = 0; i < entries.size(); ++i) {
        if (VideoCodecOfEntry(entries[i]) == codec)
            return i;
    }
    return -1;
}

int BitRateEntry(const QStringList& entries, int bitsPerSecond) {
    for (int i = 0; i < entries.size(); ++i) {
        bool ok = false;
        if (BitRateOfEntry(entries[i], &ok) == bitsPerSecond && ok)
            return i;
    }
    return -1;
}

int FrameRateEntry(const QStringList& entries, const QString& rate) {
    for (int i = 0; i < entries.size(); ++i) {
        if (LeadingWord(entries[i]) == rate)
            return i;
    }
    return -1;
}

int AudioCodecEntry(const QStringList& entries, const QString& codec) {
    return static_cast<int>(entries.indexOf(codec == QLatin1String("libmp3lame")
                                                ? QStringLiteral("MP3 Audio")
                                                : QStringLiteral("AAC Audio")));
}

int ChannelsEntry(const QStringList& entries, int channels) {
    return channels >= 1 && channels <= entries.size() ? channels - 1 : -1;
}

int SampleRateEntry(const QStringList& entries, int rate) {
    for (int i = 0; i < entries.size(); ++i) {
        bool ok = false;
        if (SampleRateOfEntry(entries[i], &ok) == rate && ok)
            return i;
    }
    return -1;
}

int FileExtEntry(const QStringList& entries, const QString& fileExt) {
    int found = -1;
    for (int i = 0; i < entries.size(); ++i) {
        if (FileExtOfEntry(entries[i]) == fileExt)
            found = i;
    }
    return found;
}
