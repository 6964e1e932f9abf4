#include "ui/Text.h"

#include "ui/Modifiers.h"
#include "ui/Painting.h"
#include "ui/TextLayout.h"

#include <QFontDatabase>
#include <QPainter>
#include <QStaticText>
#include <algorithm>
#include <list>
#include <unordered_map>
#include <cmath>
#include <map>
#include <tuple>

namespace platform::ui {

namespace {

QFont::Weight qtWeight(FontWeight w)
{
    switch (w) {
    case FontWeight::ultraLight: return QFont::ExtraLight;
    case FontWeight::thin: return QFont::Thin;
    case FontWeight::light: return QFont::Light;
    case FontWeight::regular: return QFont::Normal;
    case FontWeight::medium: return QFont::Medium;
    case FontWeight::semibold: return QFont::DemiBold;
    case FontWeight::bold: return QFont::Bold;
    case FontWeight::heavy: return QFont::ExtraBold;
    case FontWeight::black: return QFont::Black;
    }
    return QFont::Normal;
}

// Emoji come from the colour emoji font, ahead of whatever the system would
// find for them (a monochrome face, or none: a box).
constexpr const char* kEmojiFamily = "Noto Color Emoji";

// The colour emoji font right after the face's first installed family: the
// faces further down the list (DejaVu Sans above all) draw many emoji, the
// smiling faces and the hot cup among them, as grey outlines. Never ahead of
// the face itself, as the emoji font has digits and punctuation too.
QStringList withEmoji(QStringList families)
{
    const auto installed = std::find_if(families.begin(), families.end(),
                                        [](const QString& family) { return QFontDatabase::hasFamily(family); });
    families.insert(installed == families.end() ? families.end() : installed + 1, kEmojiFamily);
    return families;
}

// Code points drawn as emoji unless a text presentation selector follows
// (Emoji_Presentation of Unicode 15).
bool hasEmojiPresentation(char32_t c)
{
    static constexpr std::pair<char32_t, char32_t> ranges[] = {
        {0x231A, 0x231B}, {0x23E9, 0x23EC}, {0x23F0, 0x23F0}, {0x23F3, 0x23F3}, {0x25FD, 0x25FE}, {0x2614, 0x2615},
        {0x2648, 0x2653}, {0x267F, 0x267F}, {0x2693, 0x2693}, {0x26A1, 0x26A1}, {0x26AA, 0x26AB}, {0x26BD, 0x26BE},
        {0x26C4, 0x26C5}, {0x26CE, 0x26CE}, {0x26D4, 0x26D4}, {0x26EA, 0x26EA}, {0x26F2, 0x26F3}, {0x26F5, 0x26F5},
        {0x26FA, 0x26FA}, {0x26FD, 0x26FD}, {0x2705, 0x2705}, {0x270A, 0x270B}, {0x2728, 0x2728}, {0x274C, 0x274C},
        {0x274E, 0x274E}, {0x2753, 0x2755}, {0x2757, 0x2757}, {0x2795, 0x2797}, {0x27B0, 0x27B0}, {0x27BF, 0x27BF},
        {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
        {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F1E6, 0x1F1FF}, {0x1F201, 0x1F201}, {0x1F21A, 0x1F21A},
        {0x1F22F, 0x1F22F}, {0x1F232, 0x1F236}, {0x1F238, 0x1F23A}, {0x1F250, 0x1F251}, {0x1F300, 0x1F320},
        {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
        {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC},
        {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596},
        {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
        {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
        {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    };
    const auto after = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                        [](char32_t v, const auto& r) { return v < r.first; });
    return after != std::begin(ranges) && c <= std::prev(after)->second;
}

char32_t codePointAt(const QString& s, int i)
{
    if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(s[i], s[i + 1]);
    return s[i].unicode();
}

int codeUnits(char32_t c) { return c > 0xFFFF ? 2 : 1; }

// The length (in UTF-16 units) of the emoji sequence starting at `i`: a
// character of emoji presentation not asking for text, or any asking for
// emoji, with its modifiers, keycap, tags and joined characters; 0 when none
// starts there.
int emojiSequenceAt(const QString& s, int i)
{
    const char32_t first = codePointAt(s, i);
    int end = i + codeUnits(first);
    const char32_t next = end < s.size() ? codePointAt(s, end) : 0;
    if (!(next == 0xFE0F || (hasEmojiPresentation(first) && next != 0xFE0E))) return 0;
    // A flag is a pair of regional indicators.
    if (first >= 0x1F1E6 && first <= 0x1F1FF && next >= 0x1F1E6 && next <= 0x1F1FF) return end + 2 - i;
    while (end < s.size()) {
        const char32_t c = codePointAt(s, end);
        const bool extends = c == 0xFE0F || c == 0x20E3 || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F);
        if (extends) {
            end += codeUnits(c);
        } else if (c == 0x200D && end + 1 < s.size()) {
            end += 1;
            end += codeUnits(codePointAt(s, end));
        } else {
            break;
        }
    }
    return end - i;
}

}  // namespace

std::vector<TextRun> emojiRuns(const QString& text)
{
    std::vector<TextRun> runs;
    // Most texts hold nothing that could start an emoji.
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x231A; })) return runs;
    int plain = 0;
    for (int i = 0; i < text.size();) {
        const int length = emojiSequenceAt(text, i);
        if (length == 0) {
            i += codeUnits(codePointAt(text, i));
            continue;
        }
        if (i > plain) runs.push_back({plain, i - plain, false});
        runs.push_back({i, length, true});
        i += length;
        plain = i;
    }
    if (runs.empty()) return runs;
    if (plain < text.size()) runs.push_back({plain, int(text.size()) - plain, false});
    return runs;
}

namespace {

QStringList familiesFor(const Font& f)
{
    if (!f.family().empty()) {
        const QString family = QString::fromStdString(f.family());
        if (QFontDatabase::hasFamily(family))
            return {family, kEmojiFamily};
    }
    switch (f.design()) {
    case FontDesign::monospaced: return withEmoji({"JetBrains Mono", "DejaVu Sans Mono", "monospace"});
    case FontDesign::serif: return withEmoji({"P052", "Nimbus Roman", "DejaVu Serif", "serif"});
    case FontDesign::rounded:
    case FontDesign::standard: break;
    }
    return withEmoji({"Inter", "DejaVu Sans", "sans-serif"});
}

}  // namespace

QString fontFamily(const Font& font) { return familiesFor(font).front(); }

bool registerFontFile(const std::string& path)
{
    const int id = QFontDatabase::addApplicationFont(QString::fromStdString(path));
    return id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty();
}

double ResolvedFont::advance(const QString& text) const
{
    auto it = advances_.constFind(text);
    if (it != advances_.constEnd())
        return *it;
    if (advances_.size() > 50000)
        advances_.clear();
    const double w = measure(text);
    advances_.insert(text, w);
    return w;
}

double ResolvedFont::advanceUtf8(const std::string& utf8) const
{
    auto it = utf8Advances_.find(utf8);
    if (it != utf8Advances_.end())
        return it->second;
    if (utf8Advances_.size() > 50000)
        utf8Advances_.clear();
    const double w = advance(QString::fromStdString(utf8));
    utf8Advances_.emplace(utf8, w);
    return w;
}

double ResolvedFont::pixelAdvance(const QString& run) const
{
    auto it = pixelAdvances_.constFind(run);
    if (it != pixelAdvances_.constEnd())
        return *it;
    if (pixelAdvances_.size() > 50000)
        pixelAdvances_.clear();
    const double w = metrics->horizontalAdvance(run);
    pixelAdvances_.insert(run, w);
    return w;
}

double ResolvedFont::pixelAdvance(QChar c) const
{
    auto it = charAdvances_.constFind(c.unicode());
    if (it != charAdvances_.constEnd())
        return *it;
    const double w = metrics->horizontalAdvance(c);
    charAdvances_.insert(c.unicode(), w);
    return w;
}

double ResolvedFont::measure(const QString& text) const
{
    if (const auto runs = emojiRuns(text); !runs.empty()) {
        double w = 0;
        for (const TextRun& r : runs) {
            const QString part = text.mid(r.start, r.length);
            w += r.emoji ? emojiMetrics->horizontalAdvance(part) * scale : measure(part);
        }
        return w;
    }
    const QFontMetricsF& m = *metrics;
    if (!monospacedDigits)
        return m.horizontalAdvance(text) * scale;
    // Digits take cells of the widest digit; the rest keeps its own advance.
    double w = 0;
    int runStart = 0;
    for (int i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i].isDigit()) {
            if (i > runStart) w += m.horizontalAdvance(text.mid(runStart, i - runStart));
            if (i < text.size()) w += digitAdvance / scale;
            runStart = i + 1;
        }
    }
    return w * scale;
}

namespace {

const ResolvedFont& resolveFontUncached(const Font& f)
{
    using Key = std::tuple<std::string, int, double, int, bool, bool, double>;
    static std::map<Key, ResolvedFont> cache;
    const Key key{f.family(), int(f.design()), f.size(), int(f.weight()), f.isItalic(), f.hasMonospacedDigits(), f.tracking()};
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    ResolvedFont r;
    const double size = std::max(1.0, f.size());
    const int pixels = std::max(1, int(std::lround(size)));
    r.scale = size / pixels;
    r.font.setFamilies(familiesFor(f));
    r.font.setPixelSize(pixels);
    r.font.setWeight(qtWeight(f.weight()));
    r.font.setItalic(f.isItalic());
    // Unhinted outlines keep advances the same at every display scale.
    r.font.setHintingPreference(QFont::PreferNoHinting);
    r.font.setKerning(true);
    // Tracking is in points; the font is drawn scaled by `scale`.
    if (f.tracking() != 0) r.font.setLetterSpacing(QFont::AbsoluteSpacing, f.tracking() / r.scale);
    r.metrics = std::make_shared<QFontMetricsF>(r.font);
    r.key = r.font.key() + QChar(0);
    r.emojiFont = r.font;
    r.emojiFont.setFamilies(QStringList{kEmojiFamily} + r.font.families());
    r.emojiMetrics = std::make_shared<QFontMetricsF>(r.emojiFont);
    r.emojiKey = r.emojiFont.key() + QChar(0);
    const QFontMetricsF& m = *r.metrics;
    r.ascent = m.ascent() * r.scale;
    r.descent = m.descent() * r.scale;
    r.lineHeight = (m.ascent() + m.descent() + std::max(0.0, m.leading())) * r.scale;
    for (char c = '0'; c <= '9'; ++c)
        r.digitAdvance = std::max(r.digitAdvance, m.horizontalAdvance(QChar(c)) * r.scale);
    r.monospacedDigits = f.hasMonospacedDigits();
    return cache.emplace(key, r).first->second;
}

}  // namespace

const ResolvedFont& resolveFont(const Font& f)
{
    // Every text asks on every build, and a page uses a handful of fonts.
    struct Recent {
        Font font;
        const ResolvedFont* resolved = nullptr;
    };
    static Recent recent[8];
    static unsigned next = 0;
    for (const Recent& r : recent)
        if (r.resolved && r.font == f)
            return *r.resolved;
    const ResolvedFont& r = resolveFontUncached(f);
    recent[next++ % 8] = {f, &r};
    return r;
}

namespace {

// Shaped text, kept between frames: shaping is the dear part of drawing a
// string, and pages redraw the same strings over and over.
class StaticTextCache {
public:
    static StaticTextCache& shared()
    {
        static StaticTextCache c;
        return c;
    }
    const QStaticText& get(const QString& text, const QFont& font, const QString& fontKey)
    {
        const QString key = fontKey + text;
        auto it = map_.find(key);
        if (it != map_.end()) {
            order_.splice(order_.begin(), order_, it->second.second);
            return it->second.first;
        }
        QStaticText st(text);
        st.setTextFormat(Qt::PlainText);
        st.setPerformanceHint(QStaticText::AggressiveCaching);
        st.prepare(QTransform(), font);
        order_.push_front(key);
        auto& slot = map_[key];
        slot = {st, order_.begin()};
        while (map_.size() > 4000) {
            map_.erase(order_.back());
            order_.pop_back();
        }
        return slot.first;
    }

private:
    std::list<QString> order_;
    std::unordered_map<QString, std::pair<QStaticText, std::list<QString>::iterator>> map_;
};

// Draws `text` with its baseline at (x, 0) in the painter's coordinates.
void drawRun(QPainter& p, const ResolvedFont& f, double x, const QString& text)
{
    const QStaticText& st = StaticTextCache::shared().get(text, f.font, f.key);
    p.drawStaticText(QPointF(x, -f.metrics->ascent()), st);
}

// The same for emoji, from the emoji font (the painter draws shaped text in
// its own font, so it takes that one for the run).
void drawEmojiRun(QPainter& p, const ResolvedFont& f, double x, const QString& text)
{
    const QStaticText& st = StaticTextCache::shared().get(text, f.emojiFont, f.emojiKey);
    p.setFont(f.emojiFont);
    p.drawStaticText(QPointF(x, -f.emojiMetrics->ascent()), st);
    p.setFont(f.font);
}

struct TextScratch {
    TextLines lines;
    double scale = 1;  // minimum-scale-factor shrink
};

class TextNode final : public Node {
public:
    explicit TextNode(std::string text) : utf8_(std::move(text)) {}

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext&) const override
    {
        const ResolvedFont& f = fontFor(self);
        if (!multiline_ && (!p.width || natural_ <= *p.width))
            return {std::ceil(natural_ * 1000) / 1000, f.lineHeight};
        // No room at all (a stack's minimum probe): one empty line, as `layout` makes it.
        if (p.width && *p.width <= 0)
            return {*p.width, f.lineHeight};
        const TextScratch s = layout(self, p);
        // Even an ellipsis alone stays within the offer.
        double w = std::ceil(s.lines.width * s.scale * 1000) / 1000;
        if (p.width) w = std::min(w, *p.width);
        return {w, s.lines.height * s.scale};
    }

    void place(Element& self, Rect, LayoutContext&) const override
    {
        // Lines are worked out when first needed (drawing, inspection).
        self.scratch.reset();
    }

    // The placed text's lines: laid out as measured, unless the frame is
    // narrower than that.
    const TextScratch& placedLines(const Element& self) const
    {
        if (const auto* s = std::any_cast<TextScratch>(&self.scratch))
            return *s;
        ProposedSize p = self.proposal;
        if (!p.width || *p.width > self.frame.width) p.width = self.frame.width;
        self.scratch = layout(self, p);
        return *std::any_cast<TextScratch>(&self.scratch);
    }

    std::optional<double> firstBaseline(Element& self, Size size, LayoutContext&) const override
    {
        const TextScratch s = layout(self, ProposedSize::of(size));
        const ResolvedFont& f = resolveFont(self.env->font);
        return topInset(s, size) + f.ascent * s.scale;
    }

    std::optional<double> lastBaseline(Element& self, Size size, LayoutContext&) const override
    {
        const TextScratch s = layout(self, ProposedSize::of(size));
        const ResolvedFont& f = resolveFont(self.env->font);
        const double lines = std::max<double>(1, s.lines.lines.size());
        return topInset(s, size) + ((lines - 1) * f.lineHeight + f.ascent) * s.scale;
    }

    void paint(const Element& self, PaintContext& pc) const override
    {
        if (!self.placed || !isVisible(pc, self.frame, 4))
            return;
        const TextScratch* s = &placedLines(self);
        const ResolvedFont& f = resolveFont(self.env->font);
        QPainter& p = *pc.painter;
        p.save();
        const double scale = f.scale * s->scale;
        const double top = self.frame.y + topInset(*s, self.frame.size());
        p.setFont(f.font);
        p.setPen(QPen(toBrush(self.env->foregroundStyle, *self.env, self.frame), 0));
        for (size_t i = 0; i < s->lines.lines.size(); ++i) {
            const double lineWidth = s->lines.widths[i] * s->scale;
            double x = self.frame.x;
            switch (self.env->multilineTextAlignment) {
            case TextAlignment::leading: break;
            case TextAlignment::center: x += (self.frame.width - lineWidth) / 2; break;
            case TextAlignment::trailing: x += self.frame.width - lineWidth; break;
            }
            const double baseline = top + (double(i) * f.lineHeight + f.ascent) * s->scale;
            // Only the transform changes per line: cheaper to put back than the whole state.
            const QTransform saved = p.worldTransform();
            p.translate(x, baseline);
            p.scale(scale, scale);
            drawLine(p, f, s->lines.lines[i]);
            p.setWorldTransform(saved);
        }
        p.restore();
    }

    // The text as Qt takes it, made when first needed: most texts of a large
    // page are only measured, which their UTF-8 serves for.
    const QString& text() const
    {
        if (!textMade_) {
            text_ = QString::fromStdString(utf8_);
            textMade_ = true;
        }
        return text_;
    }

    Rect inkBounds(const Element& self, const std::optional<Rect>&) const override
    {
        // Glyphs may reach a little past their advance box.
        return self.frame.insetBy(-4, -4);
    }

private:
    static double topInset(const TextScratch& s, Size size)
    {
        return std::max(0.0, (size.height - s.lines.height * s.scale) / 2);
    }

    static void drawLine(QPainter& p, const ResolvedFont& f, const QString& line)
    {
        const auto runs = emojiRuns(line);
        if (runs.empty()) {
            drawFaceRun(p, f, 0, line);
            return;
        }
        double x = 0;
        for (const TextRun& r : runs) {
            const QString part = line.mid(r.start, r.length);
            if (r.emoji) {
                drawEmojiRun(p, f, x, part);
                x += f.emojiMetrics->horizontalAdvance(part);
            } else {
                drawFaceRun(p, f, x, part);
                x += f.advance(part) / f.scale;
            }
        }
    }

    // Text without emoji, from `x` in the font's own pixels.
    static void drawFaceRun(QPainter& p, const ResolvedFont& f, double x, const QString& line)
    {
        if (!f.monospacedDigits) {
            drawRun(p, f, x, line);
            return;
        }
        const double cell = f.digitAdvance / f.scale;
        int runStart = 0;
        for (int i = 0; i <= line.size(); ++i) {
            if (i == line.size() || line[i].isDigit()) {
                if (i > runStart) {
                    const QString run = line.mid(runStart, i - runStart);
                    drawRun(p, f, x, run);
                    x += f.pixelAdvance(run);
                }
                if (i < line.size()) {
                    const double w = f.pixelAdvance(line[i]);
                    drawRun(p, f, x + (cell - w) / 2, QString(line[i]));
                    x += cell;
                }
                runStart = i + 1;
            }
        }
    }

    TextScratch layout(const Element& self, ProposedSize p) const
    {
        const EnvironmentValues& env = *self.env;
        const ResolvedFont& f = fontFor(self);
        if (!multiline_ && (!p.width || natural_ <= *p.width)) {
            // One line that fits: no breaking needed.
            TextScratch one;
            one.lines.lines = {text()};
            one.lines.widths = {natural_};
            one.lines.width = natural_;
            one.lines.height = f.lineHeight;
            return one;
        }
        auto request = [&](double scale) {
            TextLayoutRequest r;
            r.text = text();
            r.maxWidth = p.width ? *p.width / scale : TextLayoutRequest::infinityWidth();
            r.lineLimit = env.lineLimit;
            if (p.height) r.maxHeight = *p.height / scale;
            r.lineHeight = f.lineHeight;
            r.truncation = env.truncationMode;
            return r;
        };
        const auto measure = [&f](const QString& s) { return f.advance(s); };
        TextScratch out;
        if (p.width && *p.width <= 0) {
            // No room at all: one empty, truncated line (a stack's minimum probe).
            out.lines.lines = {QString()};
            out.lines.widths = {0};
            out.lines.height = f.lineHeight;
            out.lines.truncated = true;
            return out;
        }
        out.lines = layoutText(request(1), measure);
        if (out.lines.truncated && env.minimumScaleFactor < 1) {
            // The largest scale at which nothing is cut, down to the minimum.
            TextLines atMin = layoutText(request(env.minimumScaleFactor), measure);
            if (atMin.truncated) {
                out.lines = atMin;
                out.scale = env.minimumScaleFactor;
            } else {
                double lo = env.minimumScaleFactor, hi = 1;
                TextLines best = atMin;
                for (int i = 0; i < 10; ++i) {
                    const double mid = (lo + hi) / 2;
                    TextLines l = layoutText(request(mid), measure);
                    if (l.truncated) {
                        hi = mid;
                    } else {
                        lo = mid;
                        best = l;
                    }
                }
                out.lines = best;
                out.scale = lo;
            }
        }
        return out;
    }

    // The resolved font of the element's environment, and the text's
    // one-line width in it.
    const ResolvedFont& fontFor(const Element& self) const
    {
        if (fontEnv_ != self.env.get()) {
            fontEnv_ = self.env.get();
            const ResolvedFont& f = resolveFont(self.env->font);
            if (naturalFont_ != &f) {
                naturalFont_ = &f;
                natural_ = f.advanceUtf8(utf8_);
                multiline_ = utf8_.find('\n') != std::string::npos;
            }
        }
        return *naturalFont_;
    }

    std::string utf8_;
    mutable QString text_;
    mutable bool textMade_ = false;
    mutable const EnvironmentValues* fontEnv_ = nullptr;
    // The one-line width for the font last asked (views are rebuilt every
    // frame, so this lives as long as one build).
    mutable const ResolvedFont* naturalFont_ = nullptr;
    mutable double natural_ = 0;
    mutable bool multiline_ = false;
};

}  // namespace

View Text(std::string text) { return View(detail::makeNode<TextNode>(std::move(text))); }

std::optional<std::string> textOfNode(const Node* node)
{
    if (auto* t = dynamic_cast<const TextNode*>(node))
        return t->text().toStdString();
    return std::nullopt;
}

double textScaleOf(const Element& e)
{
    auto* t = dynamic_cast<const TextNode*>(e.node.get());
    return t && e.placed ? t->placedLines(e).scale : 1;
}

std::vector<std::string> textLinesOf(const Element& e)
{
    std::vector<std::string> out;
    if (auto* t = dynamic_cast<const TextNode*>(e.node.get()); t && e.placed)
        for (const auto& l : t->placedLines(e).lines.lines) out.push_back(l.toStdString());
    return out;
}

}  // namespace platform::ui
