#include "core/U_XML.h"

#include "core/MrvLog.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

QString ChildText(const QDomElement& parent, const char* name) {
    return parent.firstChildElement(QLatin1String(name)).text();
}

// The position of the first entry that `matches`; −1 when none does.
template <typename TPredicate> int FirstEntry(const QStringList& entries, TPredicate matches) {
    const auto found = std::find_if(entries.begin(), entries.end(), matches);
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
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
    return FirstEntry(entries, [&](const QString& e) { return VideoCodecOfEntry(e) == codec; });
}

int BitRateEntry(const QStringList& entries, int bitsPerSecond) {
    return FirstEntry(entries, [&](const QString& e) {
        bool ok = false;
        return BitRateOfEntry(e, &ok) == bitsPerSecond && ok;
    });
}

int FrameRateEntry(const QStringList& entries, const QString& rate) {
    return FirstEntry(entries, [&](const QString& e) { return LeadingWord(e) == rate; });
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
    return FirstEntry(entries, [&](const QString& e) {
        bool ok = false;
        return SampleRateOfEntry(e, &ok) == rate && ok;
    });
}

int FileExtEntry(const QStringList& entries, const QString& fileExt) {
    const auto last = std::find_if(entries.rbegin(), entries.rend(),
                                   [&](const QString& e) { return FileExtOfEntry(e) == fileExt; });
    return static_cast<int>(entries.rend() - last) - 1;
}
