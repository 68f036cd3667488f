#pragma once

#include "common/QtPrinting.h"

// The generated test media, by name, and small helpers every test program shares.

#include <QString>
#include <QStringList>

namespace testmedia {

inline constexpr char kH264Aac[] = "h264_aac.mp4";         // 5 s 320x240 30 fps H.264 + AAC stereo
inline constexpr char kMpeg4Mp3Avi[] = "mpeg4_mp3.avi";    // 5 s 320x240 25 fps MPEG-4 + MP3
inline constexpr char kAudioOnly[] = "audio_only.mp3";     // 5 s MP3 stereo 44100 Hz
inline constexpr char kVideoOnly[] = "video_only.mp4";     // 5 s 320x240 30 fps H.264
inline constexpr char kSixChannels[] = "six_channels.mp4"; // H.264 + AAC 5.1 48000 Hz
inline constexpr char kUnusualName[] = "Sommerfest – Café Zürich.mp4"; // copy of kH264Aac
inline constexpr char kTruncated[] = "truncated.mp4";                  // first third of kH264Aac
inline constexpr char kEmpty[] = "empty.mp4";                          // zero bytes
inline constexpr char kRandomBytes[] = "random_bytes.mp4";             // 64 KiB of noise
inline constexpr char kSeveralStreams[] = "several_streams.mkv"; // MPEG-4 3 s, AAC stereo 44100 Hz,
                                                                 // MP3 mono 22050 Hz, subtitles
inline constexpr char kVariableRate[] = "variable_rate.mkv"; // 30 fps 1 s, a 0.5 s gap, 60 fps 1 s
inline constexpr char kDamagedMiddle[] = "damaged_middle.avi"; // kMpeg4Mp3Avi, noise halfway
// 2 s 640x360 H.264 + AAC stored landscape, to be shown turned clockwise by 90, 180, 270.
inline constexpr char kRotated90[] = "rotated_90.mp4";
inline constexpr char kRotated180[] = "rotated_180.mp4";
inline constexpr char kRotated270[] = "rotated_270.mp4";
inline constexpr char kAnamorphic[] = "anamorphic.mpg"; // 2 s MPEG-2 720x576, pixels 64:45
inline constexpr char kFlashBeep[] = "flash_beep.mkv";  // 20 s: a flash and a beep each second
inline constexpr char kStill[] = "still.png";           // 320x240
inline constexpr char kOneMinute[] = "one_minute.avi";  // 60 s 320x240 30 fps MPEG-4 + MP3
inline constexpr char kCutOff[] = "cut_off.mkv";        // kH264Aac in Matroska, all after 40 % gone

// Absolute path of a test media file.
QString Path(const char* name);

// The files that open, and the files that must fail to open.
QStringList PlayableFiles();
QStringList BrokenFiles();

} // namespace testmedia
