#pragma once

// The format profile file "Format.dat": row 0 lists the entries of each output setting, rows 1
// to 4 are profiles giving each setting as a position in row 0's lists. Also the rules that
// turn an entry into an engine value and a value back into an entry.

#include <QList>
#include <QString>
#include <QStringList>

class QDomDocument;

struct TOOXML {
    QString Id;
    QString VFormat;
    QString Name;
    QString VEncoder;
    QString VFrameRate;
    QString VBitRate;
    QString AEncoder;
    QString AChannel;
    QString ASampleRate;
    QString ABitRate;
};

// The rows of the profile file as last read: the entry lists, then the profiles.
QList<TOOXML>& FormatProfiles();
inline constexpr int kEntryListsRow = 0;
inline constexpr int kFirstProfileRow = 1;
inline constexpr int kLastProfileRow = 4;

// Parses the file into `document`; false when it is missing, unreadable or not XML.
bool LoadFormatFile(QDomDocument& document, const QString& fileName);
void ReadFormatProfiles(const QDomDocument& document);
// Both, with the activity log lines "Load [Format.dat] successful." / "… failed.".
bool LoadFormatProfiles(const QString& fileName);

// The entries of a list text: split at commas and line breaks, empty pieces dropped, blanks
// kept as part of the entries.
QStringList FillComboFromList(const QString& text);

// "libfaac" when the libraries have that encoder, else "aac".
QString AacEncoderName();

// --- Entry to value -------------------------------------------------------------------------
// The text before the first blank; empty when there is no blank.
QString LeadingWord(const QString& entry);
QString VideoCodecOfEntry(const QString& entry); // "H.264" → "libx264", else lower-cased
QString FrameRateOfEntry(const QString& entry);  // "original" → ""
QString FileExtOfEntry(const QString& entry);    // "." + lower-cased entry
QString AudioCodecOfEntry(const QString& entry); // "MP3 Audio" → "libmp3lame", else AAC
int ChannelsOfEntry(const QString& entry);       // "Stereo" → 2, else 1
// Leading word as a whole number (× 1000 for bit rates); false in `ok` when it is not one.
int BitRateOfEntry(const QString& entry, bool* ok);
int SampleRateOfEntry(const QString& entry, bool* ok);

// --- Value to entry: the position to select, −1 for no match ----------------------------------
int VideoCodecEntry(const QStringList& entries, const QString& codec);
int BitRateEntry(const QStringList& entries, int bitsPerSecond);
int FrameRateEntry(const QStringList& entries, const QString& rate);
int AudioCodecEntry(const QStringList& entries, const QString& codec);
int ChannelsEntry(const QStringList& entries, int channels);
int SampleRateEntry(const QStringList& entries, int rate);
int FileExtEntry(const QStringList& entries, const QString& fileExt); // the last match wins
