#include "foundation/PropertyList.h"

#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace platform;

namespace {

PropertyValue sample() {
    PropertyValue::Dictionary bookmark{
        {"path", "/home/me/Code & <Stuff>"},
        {"device", std::int64_t{2049}},
        {"inode", std::int64_t{-1}},
        {"ratio", 0.25},
        {"stale", false},
        {"granted", true},
        {"blob", PropertyValue::Data{0, 1, 2, 250, 255}},
        {"empty blob", PropertyValue::Data{}},
        {"added", PropertyValue::Date{1'796'576'520}},
        {"unicode", "naïve — ✓"},
        {"nothing", PropertyValue::Array{}},
        {"nested", PropertyValue::Dictionary{{"inner", PropertyValue::Array{1, "two", 3.5}}}},
    };
    return PropertyValue::Dictionary{{"bookmarks", PropertyValue::Array{bookmark, bookmark}}, {"version", 1}};
}

}  // namespace

TEST(PropertyList, RoundTripsEveryKind) {
    const PropertyValue value = sample();
    const std::string xml = writePropertyList(value);
    EXPECT_NE(xml.find("<string>/home/me/Code &amp; &lt;Stuff&gt;</string>"), std::string::npos);
    EXPECT_NE(xml.find("<data>AAEC+v8=</data>"), std::string::npos);
    EXPECT_NE(xml.find("<date>2026-12-06T17:02:00Z</date>"), std::string::npos);
    EXPECT_EQ(readPropertyList(xml), value);
}

TEST(PropertyList, ReadsHandWrittenFiles) {
    const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//X//DTD PLIST 1.0//EN" "http://example.invalid/plist.dtd">
<!-- a comment -->
<plist version="1.0">
<dict>
  <key>CFBundleShortVersionString</key> <string>1.2.3</string>
  <key>Count</key><integer> +42 </integer>
  <key>Big</key><integer>-9223372036854775808</integer>
  <key>Pi</key><real>3.25</real>
  <key>Empty</key><string/>
  <key>Quote</key><string>&quot;a&apos; &#65;&#x263A;<![CDATA[<raw & kept>]]></string>
  <key>Blob</key><data>
    AAEC
    +v8=
  </data>
  <key>Flags</key><array><true/><false></false></array>
  <key>Nothing</key><dict/>
</dict>
</plist>
)";
    PropertyValue v = readPropertyList(xml);
    EXPECT_EQ(*v.find("CFBundleShortVersionString")->string(), "1.2.3");
    EXPECT_EQ(*v.find("Count")->integer(), 42);
    EXPECT_EQ(*v.find("Big")->integer(), INT64_MIN);
    EXPECT_DOUBLE_EQ(*v.find("Pi")->real(), 3.25);
    EXPECT_EQ(*v.find("Empty")->string(), "");
    EXPECT_EQ(*v.find("Quote")->string(), "\"a' A\xE2\x98\xBA<raw & kept>");
    EXPECT_EQ(*v.find("Blob")->data(), (PropertyValue::Data{0, 1, 2, 250, 255}));
    EXPECT_EQ(*v.find("Flags")->array(), (PropertyValue::Array{true, false}));
    EXPECT_TRUE(v.find("Nothing")->dictionary()->empty());
    EXPECT_EQ(v.find("Missing"), nullptr);
    EXPECT_EQ(v.find("Count")->string(), nullptr);  // wrong kind reads as nothing
}

TEST(PropertyList, MalformedTruncatedOrTooDeepInputFailsCleanly) {
    // Keys without values and values without keys, mismatched or unclosed
    // tags, numbers out of range, unknown entities and elements.
    const char* cases[] = {
        "", "   ", "not xml at all", "<plist version=\"1.0\">", "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><string>a</string></dict></plist>", "<plist><dict><key>a</key><string>b</dict></plist>",
        "<plist><array><string>x</string></plist>", "<plist><integer>12x</integer></plist>",
        "<plist><integer>99999999999999999999</integer></plist>", "<plist><integer></integer></plist>",
        "<plist><real>abc</real></plist>", "<plist><data>!!!!</data></plist>", "<plist><date>yesterday</date></plist>",
        "<plist><date>2026-13-01T00:00:00Z</date></plist>", "<plist><string>&bogus;</string></plist>",
        "<plist><string>&#0;</string></plist>", "<plist><string>&#xD800;</string></plist>",
        "<plist><string>&amp</string></plist>", "<plist><string>unterminated", "<plist><!-- never closed",
        "<plist><unknown/></plist>", "<plist></plist>", "<plist><true/></plist><extra/>", "<plist><true>x</true></plist>",
        "<plist><string>a</string><string>b</string></plist>", "<plist><![CDATA[x]]></plist>", "<>", "</plist>",
        "<plist/>"};
    for (const char* xml : cases) EXPECT_THROW(readPropertyList(xml), PropertyListError) << xml;

    const std::string xml = writePropertyList(sample());
    for (std::size_t n = 0; n + 1 < xml.size(); n += 7)
        EXPECT_THROW(readPropertyList(std::string_view(xml).substr(0, n)), PropertyListError) << n;

    std::string deep = "<plist>", fine = "<plist>";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    EXPECT_THROW(readPropertyList(deep), PropertyListError);
    for (int i = 0; i < 100; ++i) fine += "<array>";
    for (int i = 0; i < 100; ++i) fine += "</array>";
    EXPECT_NO_THROW(readPropertyList(fine + "</plist>"));
}

TEST(PropertyList, FilesRoundTripAndBadFilesReadAsNothing) {
    testing_support::TemporaryDirectory dir;
    std::string path = dir / "sub/scan-bookmarks.plist";
    ASSERT_TRUE(writePropertyListFile(path, sample()));
    EXPECT_EQ(readPropertyListFile(path), sample());
    dir.write("broken.plist", "<plist><dict><key>x</key>");
    EXPECT_FALSE(readPropertyListFile(dir / "broken.plist").has_value());
    EXPECT_FALSE(readPropertyListFile(dir / "missing.plist").has_value());
}

TEST(PropertyList, SpecialRealsRoundTrip) {
    PropertyValue::Array values{std::nan(""), HUGE_VAL, -HUGE_VAL, -0.5, 1e300};
    PropertyValue back = readPropertyList(writePropertyList(values));
    const auto& a = *back.array();
    ASSERT_EQ(a.size(), 5u);
    EXPECT_TRUE(std::isnan(*a[0].real()));
    for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(*a[i].real(), *values[i].real()) << i;
}

TEST(PropertyList, AttributesAndMarkupAroundValuesDoNotLeakIntoThem) {
    // A quoted ">" in an attribute once ended the tag early and became part
    // of the string; an entity declared in the document type is never expanded.
    const char* xml = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<plist version=\"1.0\" note=\"a>b\">"
                      "<dict><key kind=\"x>y\">path</key><string lang=\"en\">/home/<!-- c -->me</string>"
                      "<key>spaces</key><string>  </string></dict></plist>";
    PropertyValue v = readPropertyList(xml);
    EXPECT_EQ(*v.find("path")->string(), "/home/me");
    EXPECT_EQ(*v.find("spaces")->string(), "  ");

    EXPECT_THROW(readPropertyList("<!DOCTYPE plist [<!ENTITY boom \"x\">]><plist><string>&boom;</string></plist>"),
                 PropertyListError);
}
