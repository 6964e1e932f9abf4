#include "ui/TextLayout.h"

#include <QStringList>
#include <cmath>
#include <limits>

namespace platform::ui {

double TextLayoutRequest::infinityWidth() { return std::numeric_limits<double>::infinity(); }

namespace {

const QString ellipsis = QStringLiteral("\u2026");

// Greedy breaking of one paragraph at spaces; a word wider than the line is
// broken between characters.
std::vector<QString> breakParagraph(const QString& paragraph, double width, const MeasureFunction& measure)
{
    std::vector<QString> lines;
    if (paragraph.isEmpty() || !std::isfinite(width) || measure(paragraph) <= width) {
        lines.push_back(paragraph);
        return lines;
    }
    QString line;
    int i = 0;
    const int n = paragraph.size();
    while (i < n) {
        int j = i;
        while (j < n && paragraph[j] != QLatin1Char(' ')) ++j;
        while (j < n && paragraph[j] == QLatin1Char(' ')) ++j;  // trailing spaces stay with the word
        const QString word = paragraph.mid(i, j - i);
        const QString candidate = line + word;
        if (measure(candidate.trimmed()) <= width || line.isEmpty()) {
            if (!line.isEmpty() || measure(word.trimmed()) <= width) {
                line = candidate;
            } else {
                // The word alone is too wide: break it by characters.
                for (QChar c : word) {
                    if (!line.isEmpty() && measure(line + c) > width && c != QLatin1Char(' ')) {
                        lines.push_back(line);
                        line.clear();
                    }
                    line += c;
                }
            }
        } else {
            lines.push_back(line);
            line.clear();
            continue;  // retry the word on a fresh line
        }
        i = j;
    }
    if (!line.isEmpty())
        lines.push_back(line);
    for (auto& l : lines) {
        while (l.endsWith(QLatin1Char(' '))) l.chop(1);
    }
    return lines;
}

}  // namespace

QString elide(const QString& text, double width, TruncationMode mode, const MeasureFunction& measure)
{
    if (measure(text) <= width)
        return text;
    const int n = text.size();
    auto fits = [&](int keep) {
        QString candidate;
        switch (mode) {
        case TruncationMode::tail: candidate = text.left(keep).trimmed() + ellipsis; break;
        case TruncationMode::head: candidate = ellipsis + text.right(keep).trimmed(); break;
        case TruncationMode::middle: {
            const int head = (keep + 1) / 2, tail = keep / 2;
            candidate = text.left(head) + ellipsis + text.right(tail);
            break;
        }
        }
        return std::make_pair(measure(candidate) <= width, candidate);
    };
    // The longest kept part that still fits.
    int lo = 0, hi = n;
    QString best = ellipsis;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        auto [ok, candidate] = fits(mid);
        if (ok) {
            best = candidate;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return best;
}

TextLines layoutText(const TextLayoutRequest& r, const MeasureFunction& measure)
{
    TextLines out;
    const double width = std::max(0.0, r.maxWidth);
    // The common case: one line that fits.
    if (!r.text.contains(QLatin1Char('\n'))) {
        const double natural = measure(r.text);
        if (natural <= width) {
            out.lines = {r.text};
            out.widths = {natural};
            out.width = natural;
            out.height = r.lineHeight;
            return out;
        }
    }
    std::vector<QString> all;
    const QStringList paragraphs = r.text.split(QLatin1Char('\n'));
    for (const QString& p : paragraphs) {
        auto lines = breakParagraph(p, width, measure);
        all.insert(all.end(), lines.begin(), lines.end());
    }
    size_t maxLines = all.size();
    if (r.lineLimit && *r.lineLimit > 0)
        maxLines = std::min(maxLines, size_t(*r.lineLimit));
    if (r.maxHeight && std::isfinite(*r.maxHeight) && r.lineHeight > 0) {
        // At least one line is always shown, truncated if need be.
        const size_t byHeight = size_t(std::max(1.0, std::floor(*r.maxHeight / r.lineHeight + 1e-9)));
        maxLines = std::min(maxLines, byHeight);
    }
    maxLines = std::max<size_t>(1, maxLines);
    if (all.size() > maxLines) {
        out.truncated = true;
        std::vector<QString> kept(all.begin(), all.begin() + long(maxLines - 1));
        QString rest;
        for (size_t i = maxLines - 1; i < all.size(); ++i) {
            if (!rest.isEmpty()) rest += QLatin1Char(' ');
            rest += all[i];
        }
        // A middle or head truncation of a one-line text cuts the whole text.
        kept.push_back(elide(maxLines == 1 ? QString(r.text).replace(QLatin1Char('\n'), QLatin1Char(' ')) : rest,
                             width, maxLines == 1 ? r.truncation : TruncationMode::tail, measure));
        all = std::move(kept);
    }
    for (auto& line : all) {
        if (std::isfinite(width) && measure(line) > width + 1e-6) {
            out.truncated = true;
            line = elide(line, width, r.truncation, measure);
        }
        const double w = measure(line);
        out.widths.push_back(w);
        out.width = std::max(out.width, w);
    }
    out.lines = std::move(all);
    out.height = double(out.lines.size()) * r.lineHeight;
    return out;
}

}  // namespace platform::ui
