#pragma once

#include "ui/View.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::ui {

// Plain text: never interpreted as markup or a localisation key.
View Text(std::string text);

// A font description made concrete: the Qt font at a whole pixel size and
// the scale that brings it to the asked size, with metrics in points.
struct ResolvedFont {
    QFont font;
    double scale = 1;
    double ascent = 0;
    double descent = 0;
    double lineHeight = 0;
    double digitAdvance = 0;  // widest digit, for monospaced digits
    bool monospacedDigits = false;
    std::shared_ptr<QFontMetricsF> metrics;
    QString key;  // the font's key and a separator, to key shaped text by
    // What draws the characters shown as emoji (those of emoji presentation,
    // or asking for it): the colour emoji font ahead of the face, which may
    // have grey outlines of its own for them.
    QFont emojiFont;
    std::shared_ptr<QFontMetricsF> emojiMetrics;
    QString emojiKey;
    // Width in points; memoised, since layout measures the same strings often.
    double advance(const QString& text) const;
    // The same for UTF-8, without making a QString when it was measured before.
    double advanceUtf8(const std::string& utf8) const;
    // Advances in the Qt font's own pixels, memoised: drawing digits in
    // cells asks for them on every frame.
    double pixelAdvance(const QString& run) const;
    double pixelAdvance(QChar c) const;

private:
    double measure(const QString& text) const;
    mutable QHash<QString, double> advances_;
    mutable std::unordered_map<std::string, double> utf8Advances_;
    mutable QHash<QString, double> pixelAdvances_;
    mutable QHash<char16_t, double> charAdvances_;
};

const ResolvedFont& resolveFont(const Font& font);

// A stretch of a text drawn with one font: the face's, or the emoji font's.
struct TextRun {
    int start = 0;
    int length = 0;  // in UTF-16 units, as the text's own indexes
    bool emoji = false;
    bool operator==(const TextRun&) const = default;
};
// `text` cut where its emoji sequences (flags, keycaps, skin tones and
// joined families whole) begin and end; none when it holds no emoji.
std::vector<TextRun> emojiRuns(const QString& text);

// The family a font description draws with (the display face when it is
// installed or registered, else its fallback).
QString fontFamily(const Font& font);

// Registers a font file with the application; true when it yields a family.
bool registerFontFile(const std::string& path);

}  // namespace platform::ui
