#pragma once

#include <string>

namespace platform::ui {

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
enum class FontDesign { standard, rounded, monospaced, serif };
enum class TextStyle {
    largeTitle, title, title2, title3, headline, body, callout, subheadline, footnote, caption, caption2
};

// The desktop point size of a text style.
double textStyleSize(TextStyle style);
// The weight a text style carries by default (headline is bold, the rest regular).
FontWeight textStyleWeight(TextStyle style);

// A font description; resolved to a concrete typeface only when text is laid out.
class Font {
public:
    Font() = default;  // body

    static Font system(double size, FontWeight weight = FontWeight::regular,
                       FontDesign design = FontDesign::standard);
    static Font system(TextStyle style, FontDesign design = FontDesign::standard);
    // A named family (the display face); when the family is not installed the
    // text falls back to the system font at the same size.
    static Font custom(std::string family, double size);

    static Font largeTitle() { return system(TextStyle::largeTitle); }
    static Font title() { return system(TextStyle::title); }
    static Font title2() { return system(TextStyle::title2); }
    static Font title3() { return system(TextStyle::title3); }
    static Font headline() { return system(TextStyle::headline); }
    static Font body() { return system(TextStyle::body); }
    static Font callout() { return system(TextStyle::callout); }
    static Font subheadline() { return system(TextStyle::subheadline); }
    static Font footnote() { return system(TextStyle::footnote); }
    static Font caption() { return system(TextStyle::caption); }
    static Font caption2() { return system(TextStyle::caption2); }

    Font weight(FontWeight w) const;
    Font bold() const { return weight(FontWeight::bold); }
    Font italic() const;
    // Digits laid out in cells of equal width, so counters don't jitter.
    Font monospacedDigit() const;
    Font design(FontDesign d) const;
    // Extra space after every character, in points (letter tracking).
    Font tracking(double points) const;

    double size() const { return size_; }
    FontWeight weight() const { return weight_; }
    FontDesign design() const { return design_; }
    const std::string& family() const { return family_; }  // empty for the system font
    bool isItalic() const { return italic_; }
    bool hasMonospacedDigits() const { return monospacedDigits_; }
    double tracking() const { return tracking_; }

    bool operator==(const Font&) const = default;

private:
    double size_ = 13;
    FontWeight weight_ = FontWeight::regular;
    FontDesign design_ = FontDesign::standard;
    std::string family_;
    bool italic_ = false;
    bool monospacedDigits_ = false;
    double tracking_ = 0;
};

}  // namespace platform::ui
