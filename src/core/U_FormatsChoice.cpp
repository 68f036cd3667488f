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

namespace {

// The engine values of a choice's number entries.
struct TChoiceNumbers {
    int VideoBitrate = 0;
    int AudioBitrate = 0;
    int AudioSampleRate = 0;
};

bool ReadNumbers(const TFormatChoice& choice, TChoiceNumbers& numbers, QString* error) {
    const struct {
        const QString& Entry;
        int* Value;
        bool SampleRate;
        bool Audio;
    } fields[] = {{choice.VideoBitRate, &numbers.VideoBitrate, false, false},
                  {choice.AudioBitRate, &numbers.AudioBitrate, false, true},
                  {choice.SampleRate, &numbers.AudioSampleRate, true, true}};
    for (const auto& field : fields) {
        if (field.Audio && !choice.EnableAudio)
            continue; // kept as they are
        bool ok = false;
        *field.Value = field.SampleRate ? SampleRateOfEntry(field.Entry, &ok)
                                        : BitRateOfEntry(field.Entry, &ok);
        if (!ok) {
            *error =
                QStringLiteral("'%1' is not a valid integer value").arg(LeadingWord(field.Entry));
            return false;
        }
    }
    return true;
}

} // namespace

bool CheckFormatChoice(const TFormatChoice& choice, QString* error) {
    TChoiceNumbers numbers;
    return ReadNumbers(choice, numbers, error);
}

bool ApplyFormatChoice(const TFormatChoice& choice, TJobList& list, TJobRow& row,
                       const QString& outputFolder, QString* error) {
    // Every entry is read before anything is written: a bad one changes nothing.
    TChoiceNumbers numbers;
    if (!ReadNumbers(choice, numbers, error))
        return false;
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
    output.VideoBitrate = numbers.VideoBitrate;
    item.OutputFrameSize = choice.Width + QLatin1Char('x') + choice.Height;
    if (choice.EnableAudio) {
        output.AudioCodec = AudioCodecOfEntry(choice.AudioEncoder);
        output.AudioChannels = ChannelsOfEntry(choice.Channels);
        output.AudioBitrate = numbers.AudioBitrate;
        output.AudioSampleRate = numbers.AudioSampleRate;
        output.AudioVolume = choice.Volume.toInt();
    }
    list.ItemChanged(&row);
    return true;
}
