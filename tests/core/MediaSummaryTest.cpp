#include "core/MediaSummary.h"

#include "engine/FFLoad.h"
#include "engine/probe/FFDecode.h"

#include "common/TestMedia.h"

#include <gtest/gtest.h>

TEST(MediaSummary, LastStreamOfEachKind) {
    ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
    const QString blanks(23, QLatin1Char(' '));
    const QString h264 = blanks +
                         "Video Encoder: [h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)]"
                         "\r\n" +
                         blanks + "[320x240] 30.00 fps 5 s";
    const struct {
        const char* File;
        QString Expected;
    } cases[] = {
        {testmedia::kH264Aac, h264 + "\r\n" + blanks +
                                  "Audio Encoder: [aac(AAC (Advanced Audio "
                                  "Coding))]\r\n" +
                                  blanks + "[44100 Hz, 2 Channels] 5 s"},
        {testmedia::kVideoOnly, h264 + "\r\n"},
        {testmedia::kAudioOnly, "\r\n" + blanks +
                                    "Audio Encoder: [mp3float(MP3 (MPEG audio layer "
                                    "3))]\r\n" +
                                    blanks + "[44100 Hz, 2 Channels] 5 s"},
        {testmedia::kSixChannels, h264 + "\r\n" + blanks +
                                      "Audio Encoder: [aac(AAC (Advanced "
                                      "Audio Coding))]\r\n" +
                                      blanks + "[48000 Hz, 6 Channels] 5 s"},
        // The second sound track is the one described; Matroska gives the file's length only
        // (the subtitles end at 4 s).
        {testmedia::kSeveralStreams, blanks + "Video Encoder: [mpeg4(MPEG-4 part 2)]\r\n" + blanks +
                                         "[160x120] 25.00 fps 4 s\r\n" + blanks +
                                         "Audio Encoder: [mp3float(MP3 (MPEG audio layer 3))]\r\n" +
                                         blanks + "[22050 Hz, 1 Channels] 4 s"},
    };
    TFFDecoder decoder;
    for (const auto& c : cases) {
        ASSERT_TRUE(decoder.LoadFile(testmedia::Path(c.File)));
        EXPECT_EQ(MediaSummary(decoder).toStdString(), c.Expected.toStdString()) << c.File;
    }
}
