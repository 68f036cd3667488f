#pragma once

// The decoder's answers about one file as named fields, in the records' own order, for the
// text and JSON output of `reelcaster-cli info`.

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

class TCustomDecoder;

using TFieldList = QList<QPair<QString, QJsonValue>>;

struct TMediaInfoFields {
    TFieldList File;         // FileName, FileSize, the stream counters, then TFileStreamInfo
    QList<TFieldList> Video; // per video stream: index, then TVideoStreamInfo
    QList<TFieldList> Audio; // per audio stream: index, then TAudioStreamInfo
};

// For a decoder with a file loaded.
TMediaInfoFields CollectMediaInfo(TCustomDecoder& decoder);

QJsonObject ToJson(const TFieldList& fields);
