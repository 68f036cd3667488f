#pragma once

// When an item's output size changes, its watermark keeps its place and size relative to the
// picture: the view rectangles move to the new frame's place on the edit window's preview, the
// output rectangle and a text's font scale with the frame, and a picture's scaled copy is made
// again at its new size.

#include <QSize>

struct TFileOption;

void RescaleWaterMark(TFileOption& item, const QSize& from, const QSize& to);
