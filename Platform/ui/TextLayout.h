#pragma once

// Line breaking and truncation as a pure function of a measuring function,
// so the rules can be tested without fonts.

#include "ui/Environment.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace platform::ui {

struct TextLayoutRequest {
    QString text;
    double maxWidth = infinityWidth();  // infinity: no wrapping but at newlines
    std::optional<int> lineLimit;
    std::optional<double> maxHeight;    // fewer lines when not all fit
    double lineHeight = 16;
    TruncationMode truncation = TruncationMode::tail;
    static double infinityWidth();
};

struct TextLines {
    std::vector<QString> lines;
    std::vector<double> widths;
    double width = 0;   // the widest line
    double height = 0;  // lines × line height
    bool truncated = false;
};

using MeasureFunction = std::function<double(const QString&)>;

TextLines layoutText(const TextLayoutRequest& request, const MeasureFunction& measure);

// `text` shortened with an ellipsis at the given place so it measures at most
// `width`; the ellipsis alone when nothing else fits.
QString elide(const QString& text, double width, TruncationMode mode, const MeasureFunction& measure);

}  // namespace platform::ui
