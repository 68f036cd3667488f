#include "core/U_FormatsChoice.h"

#include "core/U_TreelistModel.h"
#include "core/U_XML.h"

#include <QFileInfo>

namespace {

// The entry at a position given as text in a profile row.
bool EntryAt(const QString& list, const QString& position, QString* entry) {
    bool ok = false;
    const int index = position.trimmed().toInt(&ok);
    const QStringList entries = FillComboFromList(list);
    if (!ok || index < 0 || index >= entries.size())
        return false;
    *entry = entries[index];
    return true;
}

} // namespace

bool ProfileChoice(int row, TFormatChoice& choice, QString* error) {
    const QList<TOOXML>& profiles = FormatProfiles();
    if (row < kFirstProfileRow || row > kLastProfileRow || row >= profiles.size()) {
        *error = QStringLiteral("There is no profile %1 in Format.dat.").arg(row);
        return false;
    }
    const TOOXML& lists = profiles[kEntryListsRow];
    const TOOXML& profile = profiles[row];
    const struct {
        const QString& List;
        const QString& Position;
        QString* Entry;
    } fields[] = {{lists.VEncoder, profile.VEncoder, &choice.VideoEncoder},
                  {lists.VFrameRate, profile.VFrameRate, &choice.FrameRate},
                  {lists.VBitRate, profile.VBitRate, &choice.VideoBitRate},
                  {lists.VFormat, profile.VFormat, &choice.Container},
                  {lists.AEncoder, profile.AEncoder, &choice.AudioEncoder},
                  {lists.AChannel, profile.AChannel, &choice.Channels},
                  {lists.ASampleRate, profile.ASampleRate, &choice.SampleRate},
                  {lists.ABitRate, profile.ABitRate, &choice.AudioBitRate}};
    for (const auto& field : fields) {
        if (!EntryAt(field.List, field.Position, field.Entry)) {
            *error = QStringLiteral("Profile %1 of Format.dat is incomplete.").arg(row);
            return false;
        }
    }
    choice.Position = row - kFirstProfileRow;
    return true;
}

bool ApplyFormatChoice(const TFormatChoice& choice, TJobList& list, TJobRow& row,
                       const QString& outputFolder, QString* error) {
    TFileOption& item = row.Item;
    TOutputOptions& output = item.OutputOptions;
    output.DisableAudio = !choice.EnableAudio;
    if (choice.Position + 1 != item.FormatIndex ||
        choice.Position == TFormatChoice::kCustomPosition) {
        item.FormatIndex = choice.Position + 1;
        output.FileExt = FileExtOfEntry(choice.Container);
        if (QFileInfo(output.FileName).suffix().toUpper() != choice.Container) {
            output.FileName = list.MakeUniqueOutputName(
                outputFolder + QFileInfo(item.InputOptions.FileName).fileName(),
                choice.Container.toLower(), QStringLiteral("_"), nullptr);
        }
    }
    output.VideoCodec = VideoCodecOfEntry(choice.VideoEncoder);
    output.FrameRate = FrameRateOfEntry(choice.FrameRate);
    bool ok = false;
    output.VideoBitrate = BitRateOfEntry(choice.VideoBitRate, &ok);
    if (!ok) {
        *error = QStringLiteral("'%1' is not a valid integer value")
                     .arg(LeadingWord(choice.VideoBitRate));
        return false;
    }
    item.OutputFrameSize = choice.Width + QLatin1Char('x') + choice.Height;
    if (choice.EnableAudio) {
        output.AudioCodec = AudioCodecOfEntry(choice.AudioEncoder);
        output.AudioChannels = ChannelsOfEntry(choice.Channels);
        output.AudioBitrate = BitRateOfEntry(choice.AudioBitRate, &ok);
        if (!ok) {
            *error = QStringLiteral("'%1' is not a valid integer value")
                         .arg(LeadingWord(choice.AudioBitRate));
            return false;
        }
        output.AudioSampleRate = SampleRateOfEntry(choice.SampleRate, &ok);
        if (!ok) {
            *error = QStringLiteral("'%1' is not a valid integer value")
                         .arg(LeadingWord(choice.SampleRate));
            return false;
        }
        output.AudioVolume = choice.Volume.toInt();
        output.DisableAudio = false;
    }
    return true;
}
