// The player's subtitles: decoded on their own thread and drawn over the picture while due,
// bitmap subtitles blended in, text subtitles outlined at the bottom.

#include "engine/player/FFPlayback.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

namespace {

// The words of an ASS event ("ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text"
// in what decoders give today, "Dialogue: …" in older ones), without its style overrides.
QString AssText(const char* event) {
    QString text = QString::fromUtf8(event);
    if (text.startsWith(QLatin1String("Dialogue:")))
        text = text.section(QLatin1Char(','), 9);
    else
        text = text.section(QLatin1Char(','), 8);
    static const QRegularExpression overrides(QStringLiteral("\\{[^}]*\\}"));
    text.remove(overrides);
    text.replace(QLatin1String("\\N"), QLatin1String("\n"));
    text.replace(QLatin1String("\\n"), QLatin1String("\n"));
    text.replace(QLatin1String("\\h"), QLatin1String(" "));
    return text.trimmed();
}

QImage PaletteBitmap(const AVSubtitleRect& rect) {
    QImage image(rect.w, rect.h, QImage::Format_ARGB32);
    const auto* palette = reinterpret_cast<const uint32_t*>(rect.data[1]);
    for (int y = 0; y < rect.h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uint8_t* indexes = rect.data[0] + ptrdiff_t(y) * rect.linesize[0];
        for (int x = 0; x < rect.w; ++x)
            line[x] = palette[indexes[x]]; // AARRGGBB, as QImage keeps it
    }
    return image;
}

} // namespace

void TPlayback::SubtitleMain() {
    AVCodecContext* decoder = FSubtitleDecoder.get();
    const AVRational base = FInput->streams[FSubtitleStream]->time_base;
    while (!FAbort.load()) {
        TPacketQueue::TEntry entry;
        if (FSubtitlePackets.Get(entry, true) < 0)
            break;
        if (entry.Flush) {
            avcodec_flush_buffers(decoder);
            std::lock_guard lock(FSubtitleLock);
            FSubtitles.clear();
            continue;
        }
        AVSubtitle subtitle{};
        int got = 0;
        if (avcodec_decode_subtitle2(decoder, &subtitle, &got, entry.Packet.get()) < 0 || !got)
            continue;
        const double pts = subtitle.pts != AV_NOPTS_VALUE        ? subtitle.pts / 1e6
                           : entry.Packet->pts != AV_NOPTS_VALUE ? entry.Packet->pts * av_q2d(base)
                                                                 : 0.0;
        TSubtitleItem item;
        item.Start = pts + subtitle.start_display_time / 1000.0;
        const double packetEnd =
            entry.Packet->duration > 0 ? pts + entry.Packet->duration * av_q2d(base) : pts + 5.0;
        item.End = subtitle.end_display_time > subtitle.start_display_time
                       ? pts + subtitle.end_display_time / 1000.0
                       : packetEnd;
        for (unsigned i = 0; i < subtitle.num_rects; ++i) {
            const AVSubtitleRect& rect = *subtitle.rects[i];
            if (rect.type == SUBTITLE_BITMAP && rect.w > 0 && rect.h > 0) {
                item.Bitmap = PaletteBitmap(rect);
                item.Place = QPoint(rect.x, rect.y);
            } else if (rect.type == SUBTITLE_ASS && rect.ass != nullptr) {
                item.Text +=
                    (item.Text.isEmpty() ? QString() : QStringLiteral("\n")) + AssText(rect.ass);
            } else if (rect.type == SUBTITLE_TEXT && rect.text != nullptr) {
                item.Text += (item.Text.isEmpty() ? QString() : QStringLiteral("\n")) +
                             QString::fromUtf8(rect.text).trimmed();
            }
        }
        avsubtitle_free(&subtitle);
        if (item.Bitmap.isNull() && item.Text.isEmpty())
            continue;
        std::lock_guard lock(FSubtitleLock);
        FSubtitles.push_back(std::move(item));
    }
}

void TPlayback::DrawSubtitle(QImage& picture, double pts) {
    std::lock_guard lock(FSubtitleLock);
    // Subtitles whose time is over go.
    std::erase_if(FSubtitles, [pts](const TSubtitleItem& item) { return item.End <= pts; });
    QPainter painter;
    for (const TSubtitleItem& item : FSubtitles) {
        if (item.Start > pts)
            continue;
        if (!painter.isActive()) {
            painter.begin(&picture);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
        }
        if (!item.Bitmap.isNull()) {
            // Placed in the coding size of the picture, drawn in the display's.
            const AVCodecParameters* video =
                FVideoStream >= 0 ? FInput->streams[FVideoStream]->codecpar : nullptr;
            const double sx =
                video && video->width > 0 ? double(picture.width()) / video->width : 1.0;
            const double sy =
                video && video->height > 0 ? double(picture.height()) / video->height : 1.0;
            painter.drawImage(QRectF(item.Place.x() * sx, item.Place.y() * sy,
                                     item.Bitmap.width() * sx, item.Bitmap.height() * sy),
                              item.Bitmap);
        }
        if (!item.Text.isEmpty()) {
            QFont font;
            font.setPixelSize(std::max(10, picture.height() / 16));
            font.setBold(true);
            const QStringList lines = item.Text.split(QLatin1Char('\n'));
            const QFontMetricsF metrics(font);
            QPainterPath path;
            double y = picture.height() - metrics.descent() - picture.height() / 24.0 -
                       (lines.size() - 1) * metrics.lineSpacing();
            for (const QString& line : lines) {
                const double x = (picture.width() - metrics.horizontalAdvance(line)) / 2;
                path.addText(QPointF(x, y), font, line);
                y += metrics.lineSpacing();
            }
            // Legible on any picture: white letters with a dark outline.
            painter.strokePath(path,
                               QPen(QColor(0, 0, 0, 220), std::max(2.0, font.pixelSize() / 7.0),
                                    Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.fillPath(path, Qt::white);
        }
    }
}
