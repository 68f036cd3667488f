#pragma once

// Finds the engine's own filters in a filter-graph text and cuts the text open around them:
// each one becomes two open ends, an output labelled NativeFilterInLabel(i) where the pictures
// leave the text for the filter and an input labelled NativeFilterOutLabel(i) where they come
// back, with its own labels kept. The text otherwise stays as it was, so the filter library
// reads every other filter, label and quote as before.

#include "engine/filters/NativeFilter.h"

#include <QString>

#include <vector>

struct TNativeFilterUse {
    TNativeFilterKind Kind;
    QString Parameters; // unquoted as the filter library unquotes a filter's arguments
};

struct TSplicedGraphText {
    QString Text;
    std::vector<TNativeFilterUse> Uses; // in the order the text names them
};

TSplicedGraphText SpliceNativeFilters(const QString& text);
QString NativeFilterInLabel(size_t use);
QString NativeFilterOutLabel(size_t use);
