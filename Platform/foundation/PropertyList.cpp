#include "foundation/PropertyList.h"

#include "foundation/Files.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace platform {

const PropertyValue* PropertyValue::find(const std::string& key) const {
    const Dictionary* dict = dictionary();
    if (!dict) return nullptr;
    auto it = dict->find(key);
    return it == dict->end() ? nullptr : &it->second;
}

namespace {

constexpr char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Deeper documents are refused rather than risking the stack.
constexpr int maxDepth = 256;

std::string encodeBase64(const PropertyValue::Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += base64Alphabet[(n >> 6) & 63];
        out += base64Alphabet[n & 63];
    }
    if (i + 1 == data.size()) {
        std::uint32_t n = data[i] << 16;
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == data.size()) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8);
        out += base64Alphabet[(n >> 18) & 63];
        out += base64Alphabet[(n >> 12) & 63];
        out += base64Alphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

PropertyValue::Data decodeBase64(std::string_view text) {
    PropertyValue::Data out;
    std::uint32_t accumulator = 0;
    int bits = 0;
    bool padding = false;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        if (padding) throw PropertyListError("data: text after base64 padding");
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else throw PropertyListError("data: not base64");
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((accumulator >> bits) & 0xFF));
        }
    }
    return out;
}

std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string formatDate(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return "1970-01-01T00:00:00Z";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buffer;
}

std::int64_t parseDate(std::string_view text) {
    int y, mo, d, h, mi, s;
    char tail = 0;
    std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 7 ||
        tail != 'Z' || copy.size() != 20)
        throw PropertyListError("date: expected YYYY-MM-DDTHH:MM:SSZ");
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || h < 0 || mi < 0 || s < 0)
        throw PropertyListError("date: field out of range");
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return static_cast<std::int64_t>(timegm(&tm));
}

void write(std::string& out, const PropertyValue& value, int indent) {
    std::string tabs(static_cast<std::size_t>(indent), '\t');
    switch (value.kind()) {
    case PropertyValue::Kind::boolean:
        out += tabs + (*value.boolean() ? "<true/>\n" : "<false/>\n");
        break;
    case PropertyValue::Kind::integer:
        out += tabs + "<integer>" + std::to_string(*value.integer()) + "</integer>\n";
        break;
    case PropertyValue::Kind::real: {
        double v = *value.real();
        std::string text;
        if (std::isnan(v)) text = "nan";
        else if (std::isinf(v)) text = v > 0 ? "+infinity" : "-infinity";
        else {
            char buffer[64];
            auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
            text.assign(buffer, r.ptr);
        }
        out += tabs + "<real>" + text + "</real>\n";
        break;
    }
    case PropertyValue::Kind::string:
        out += tabs + "<string>" + escapeXml(*value.string()) + "</string>\n";
        break;
    case PropertyValue::Kind::data:
        out += tabs + "<data>" + encodeBase64(*value.data()) + "</data>\n";
        break;
    case PropertyValue::Kind::date:
        out += tabs + "<date>" + formatDate(value.date()->unixSeconds) + "</date>\n";
        break;
    case PropertyValue::Kind::array:
        if (value.array()->empty()) {
            out += tabs + "<array/>\n";
            break;
        }
        out += tabs + "<array>\n";
        for (const auto& item : *value.array()) write(out, item, indent + 1);
        out += tabs + "</array>\n";
        break;
    case PropertyValue::Kind::dictionary:
        if (value.dictionary()->empty()) {
            out += tabs + "<dict/>\n";
            break;
        }
        out += tabs + "<dict>\n";
        for (const auto& [key, item] : *value.dictionary()) {
            out += tabs + "\t<key>" + escapeXml(key) + "</key>\n";
            write(out, item, indent + 1);
        }
        out += tabs + "</dict>\n";
        break;
    }
}

// A strict reader of the property-list subset of XML.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    PropertyValue document() {
        skipProlog();
        Tag tag = readTag();
        bool wrapped = tag.name == "plist";
        PropertyValue root;
        if (wrapped) {
            if (tag.closing) fail("unexpected </plist>");
            if (tag.empty) fail("empty plist");
            skipMisc();
            root = value(readTag(), 0);
            skipMisc();
            Tag end = readTag();
            if (!end.closing || end.name != "plist") fail("expected </plist>");
        } else {
            root = value(tag, 0);
        }
        skipMisc();
        if (pos_ != text_.size()) fail("text after the document");
        return root;
    }

private:
    struct Tag {
        std::string name;
        bool closing = false;
        bool empty = false;  // <name/>
    };

    [[noreturn]] void fail(const std::string& what) const {
        throw PropertyListError("property list, byte " + std::to_string(pos_) + ": " + what);
    }

    bool startsWith(std::string_view s) const { return text_.substr(pos_).starts_with(s); }

    void skipSpace() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t'))
            ++pos_;
    }

    void skipPast(std::string_view terminator) {
        auto end = text_.find(terminator, pos_);
        if (end == std::string_view::npos) fail("unterminated markup");
        pos_ = end + terminator.size();
    }

    // Whitespace and comments between elements.
    void skipMisc() {
        while (true) {
            skipSpace();
            if (startsWith("<!--")) skipPast("-->");
            else return;
        }
    }

    void skipProlog() {
        if (startsWith("\xEF\xBB\xBF")) pos_ += 3;
        while (true) {
            skipMisc();
            if (startsWith("<?")) skipPast("?>");
            else if (startsWith("<!DOCTYPE")) skipPast(">");
            else return;
        }
    }

    Tag readTag() {
        skipMisc();
        if (pos_ >= text_.size() || text_[pos_] != '<') fail("expected an element");
        auto end = text_.find('>', pos_);
        if (end == std::string_view::npos) fail("unterminated tag");
        std::string_view inner = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        Tag tag;
        if (!inner.empty() && inner.front() == '/') {
            tag.closing = true;
            inner.remove_prefix(1);
        }
        if (!inner.empty() && inner.back() == '/') {
            tag.empty = true;
            inner.remove_suffix(1);
        }
        std::size_t n = 0;
        while (n < inner.size() && inner[n] != ' ' && inner[n] != '\t' && inner[n] != '\n' && inner[n] != '\r') ++n;
        tag.name = std::string(inner.substr(0, n));
        if (tag.name.empty()) fail("empty tag name");
        if (tag.closing && tag.empty) fail("malformed tag");
        return tag;
    }

    // Character data up to the closing tag `name`, with entities and CDATA resolved.
    std::string text(const Tag& open) {
        if (open.empty) return {};
        std::string out;
        while (true) {
            if (pos_ >= text_.size()) fail("unterminated <" + open.name + ">");
            char c = text_[pos_];
            if (c == '<') {
                if (startsWith("<![CDATA[")) {
                    pos_ += 9;
                    auto end = text_.find("]]>", pos_);
                    if (end == std::string_view::npos) fail("unterminated CDATA");
                    out.append(text_.substr(pos_, end - pos_));
                    pos_ = end + 3;
                    continue;
                }
                if (startsWith("<!--")) {
                    skipPast("-->");
                    continue;
                }
                Tag close = readTag();
                if (!close.closing || close.name != open.name) fail("expected </" + open.name + ">");
                return out;
            }
            if (c == '&') {
                out += entity();
                continue;
            }
            out += c;
            ++pos_;
        }
    }

    std::string entity() {
        auto end = text_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 12) fail("malformed entity");
        std::string_view name = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (name == "amp") return "&";
        if (name == "lt") return "<";
        if (name == "gt") return ">";
        if (name == "quot") return "\"";
        if (name == "apos") return "'";
        if (name.size() > 1 && name[0] == '#') {
            std::uint32_t code = 0;
            std::from_chars_result r;
            if (name[1] == 'x' || name[1] == 'X') r = std::from_chars(name.data() + 2, name.data() + name.size(), code, 16);
            else r = std::from_chars(name.data() + 1, name.data() + name.size(), code, 10);
            if (r.ec != std::errc() || r.ptr != name.data() + name.size() || code == 0 || code > 0x10FFFF ||
                (code >= 0xD800 && code <= 0xDFFF))
                fail("bad character reference");
            return utf8(code);
        }
        fail("unknown entity");
    }

    static std::string utf8(std::uint32_t code) {
        std::string out;
        if (code < 0x80) out += static_cast<char>(code);
        else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        return out;
    }

    static std::string_view trimmed(std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\n' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
        return s;
    }

    PropertyValue value(const Tag& tag, int depth) {
        if (tag.closing) fail("unexpected </" + tag.name + ">");
        if (depth > maxDepth) fail("nested too deeply");
        const std::string& n = tag.name;
        if (n == "true" || n == "false") {
            if (!tag.empty) {
                Tag close = readTag();
                if (!close.closing || close.name != n) fail("expected </" + n + ">");
            }
            return PropertyValue(n == "true");
        }
        if (n == "string") return PropertyValue(text(tag));
        if (n == "integer") {
            std::string t(trimmed(text(tag)));
            std::int64_t v = 0;
            const char* begin = t.data() + (t.starts_with('+') ? 1 : 0);
            auto r = std::from_chars(begin, t.data() + t.size(), v, 10);
            if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) fail("bad integer");
            return PropertyValue(v);
        }
        if (n == "real") {
            std::string t(trimmed(text(tag)));
            if (t == "nan") return PropertyValue(std::nan(""));
            if (t == "+infinity" || t == "infinity" || t == "inf") return PropertyValue(HUGE_VAL);
            if (t == "-infinity" || t == "-inf") return PropertyValue(-HUGE_VAL);
            double v = 0;
            auto r = std::from_chars(t.data(), t.data() + t.size(), v);
            if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) fail("bad real");
            return PropertyValue(v);
        }
        if (n == "data") return PropertyValue(decodeBase64(text(tag)));
        if (n == "date") return PropertyValue(PropertyValue::Date{parseDate(trimmed(text(tag)))});
        if (n == "array") {
            PropertyValue::Array items;
            if (tag.empty) return PropertyValue(std::move(items));
            while (true) {
                Tag next = readTag();
                if (next.closing) {
                    if (next.name != "array") fail("expected </array>");
                    return PropertyValue(std::move(items));
                }
                items.push_back(value(next, depth + 1));
            }
        }
        if (n == "dict") {
            PropertyValue::Dictionary entries;
            if (tag.empty) return PropertyValue(std::move(entries));
            while (true) {
                Tag key = readTag();
                if (key.closing) {
                    if (key.name != "dict") fail("expected </dict>");
                    return PropertyValue(std::move(entries));
                }
                if (key.name != "key") fail("expected <key>");
                std::string name = text(key);
                Tag item = readTag();
                entries.insert_or_assign(std::move(name), value(item, depth + 1));
            }
        }
        fail("unknown element <" + n + ">");
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string writePropertyList(const PropertyValue& value) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<plist version=\"1.0\">\n";
    write(out, value, 0);
    out += "</plist>\n";
    return out;
}

PropertyValue readPropertyList(std::string_view xml) { return Reader(xml).document(); }

std::optional<PropertyValue> readPropertyListFile(const std::string& path) {
    auto contents = readFileContents(path);
    if (!contents) return std::nullopt;
    try {
        return readPropertyList(*contents);
    } catch (const PropertyListError&) {
        return std::nullopt;
    }
}

bool writePropertyListFile(const std::string& path, const PropertyValue& value) {
    return writeFileAtomically(path, writePropertyList(value));
}

}  // namespace platform
