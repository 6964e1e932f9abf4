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
    const QStaticText& get(const QString& text, const ResolvedFont& f)
    {
        const QFont& font = f.font;
        const QString key = f.key + text;
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
    const QStaticText& st = StaticTextCache::shared().get(text, f);
    p.drawStaticText(QPointF(x, -f.metrics->ascent()), st);
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
        if (!f.monospacedDigits) {
            drawRun(p, f, 0, line);
            return;
        }
        const double cell = f.digitAdvance / f.scale;
        double x = 0;
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
