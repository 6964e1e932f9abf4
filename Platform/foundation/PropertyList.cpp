#include "foundation/PropertyList.h"

#include "foundation/Files.h"

#include <pugixml.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <vector>

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

std::string formatReal(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "+infinity" : "-infinity";
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

void appendElement(pugi::xml_node parent, const PropertyValue& value) {
    auto textElement = [&](const char* name, const std::string& text) {
        pugi::xml_node node = parent.append_child(name);
        if (!text.empty()) node.append_child(pugi::node_pcdata).set_value(text.c_str());
    };
    switch (value.kind()) {
    case PropertyValue::Kind::boolean: parent.append_child(*value.boolean() ? "true" : "false"); break;
    case PropertyValue::Kind::integer: textElement("integer", std::to_string(*value.integer())); break;
    case PropertyValue::Kind::real: textElement("real", formatReal(*value.real())); break;
    case PropertyValue::Kind::string: textElement("string", *value.string()); break;
    case PropertyValue::Kind::data: textElement("data", encodeBase64(*value.data())); break;
    case PropertyValue::Kind::date: textElement("date", formatDate(value.date()->unixSeconds)); break;
    case PropertyValue::Kind::array: {
        pugi::xml_node node = parent.append_child("array");
        for (const auto& item : *value.array()) appendElement(node, item);
        break;
    }
    case PropertyValue::Kind::dictionary: {
        pugi::xml_node node = parent.append_child("dict");
        for (const auto& [key, item] : *value.dictionary()) {
            node.append_child("key").append_child(pugi::node_pcdata).set_value(key.c_str());
            appendElement(node, item);
        }
        break;
    }
    }
}

[[noreturn]] void fail(pugi::xml_node node, const std::string& what) {
    std::string where = node ? " (at byte " + std::to_string(node.offset_debug()) + ")" : "";
    throw PropertyListError("property list" + where + ": " + what);
}

std::string utf8(std::uint32_t code) {
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

// The parser leaves references alone so that an undeclared entity or a bad
// character reference is refused here instead of passing through as text.
std::string resolveReferences(pugi::xml_node node, std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    while (!raw.empty()) {
        auto amp = raw.find('&');
        out.append(raw.substr(0, amp));
        if (amp == std::string_view::npos) break;
        auto semicolon = raw.find(';', amp);
        if (semicolon == std::string_view::npos || semicolon - amp > 12) fail(node, "malformed entity");
        std::string_view name = raw.substr(amp + 1, semicolon - amp - 1);
        raw.remove_prefix(semicolon + 1);
        if (name == "amp") out += '&';
        else if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            std::uint32_t code = 0;
            bool hex = name[1] == 'x' || name[1] == 'X';
            const char* begin = name.data() + (hex ? 2 : 1);
            auto r = std::from_chars(begin, name.data() + name.size(), code, hex ? 16 : 10);
            if (r.ec != std::errc() || r.ptr != name.data() + name.size() || code == 0 || code > 0x10FFFF ||
                (code >= 0xD800 && code <= 0xDFFF))
                fail(node, "bad character reference");
            out += utf8(code);
        } else {
            fail(node, "unknown entity &" + std::string(name) + ";");
        }
    }
    return out;
}

bool isBlank(std::string_view s) { return s.find_first_not_of(" \t\r\n") == std::string_view::npos; }

std::string_view trimmed(std::string_view s) {
    auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The text of a leaf element: its character data and CDATA sections joined;
// any child element is an error.
std::string textOf(pugi::xml_node element) {
    std::string out;
    for (pugi::xml_node child : element.children()) {
        if (child.type() == pugi::node_pcdata) out += resolveReferences(child, child.value());
        else if (child.type() == pugi::node_cdata) out += child.value();
        else fail(child, "unexpected <" + std::string(child.name()) + "> inside <" + element.name() + ">");
    }
    return out;
}

// The child elements of a container, refusing any text between them.
std::vector<pugi::xml_node> elementsOf(pugi::xml_node container) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node child : container.children()) {
        if (child.type() == pugi::node_element) out.push_back(child);
        else if (child.type() != pugi::node_pcdata || !isBlank(child.value()))
            fail(child, "text inside <" + std::string(container.name()) + ">");
    }
    return out;
}

PropertyValue valueOf(pugi::xml_node element, int depth) {
    if (depth > maxDepth) fail(element, "nested too deeply");
    const std::string_view n = element.name();
    if (n == "true" || n == "false") {
        if (element.first_child()) fail(element, "<" + std::string(n) + "> holds content");
        return PropertyValue(n == "true");
    }
    if (n == "string") return PropertyValue(textOf(element));
    if (n == "integer") {
        std::string text = textOf(element);
        std::string_view t = trimmed(text);
        std::int64_t v = 0;
        const char* begin = t.data() + (t.starts_with('+') ? 1 : 0);
        auto r = std::from_chars(begin, t.data() + t.size(), v, 10);
        if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) fail(element, "bad integer");
        return PropertyValue(v);
    }
    if (n == "real") {
        std::string text = textOf(element);
        std::string_view t = trimmed(text);
        if (t == "nan") return PropertyValue(std::nan(""));
        if (t == "+infinity" || t == "infinity" || t == "inf") return PropertyValue(HUGE_VAL);
        if (t == "-infinity" || t == "-inf") return PropertyValue(-HUGE_VAL);
        double v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) fail(element, "bad real");
        return PropertyValue(v);
    }
    if (n == "data") {
        try {
            return PropertyValue(decodeBase64(textOf(element)));
        } catch (const PropertyListError& e) {
            fail(element, e.what());
        }
    }
    if (n == "date") {
        try {
            return PropertyValue(PropertyValue::Date{parseDate(trimmed(textOf(element)))});
        } catch (const PropertyListError& e) {
            fail(element, e.what());
        }
    }
    if (n == "array") {
        PropertyValue::Array items;
        for (pugi::xml_node child : elementsOf(element)) items.push_back(valueOf(child, depth + 1));
        return PropertyValue(std::move(items));
    }
    if (n == "dict") {
        PropertyValue::Dictionary entries;
        const auto children = elementsOf(element);
        for (std::size_t i = 0; i < children.size(); i += 2) {
            if (std::string_view(children[i].name()) != "key") fail(children[i], "expected <key>");
            if (i + 1 == children.size()) fail(children[i], "a key without a value");
            entries.insert_or_assign(textOf(children[i]), valueOf(children[i + 1], depth + 1));
        }
        return PropertyValue(std::move(entries));
    }
    fail(element, "unknown element <" + std::string(n) + ">");
}

// The one element among `parent`'s children; comments, processing
// instructions and the declaration may stand beside it, nothing else.
pugi::xml_node onlyElement(pugi::xml_node parent, const char* what) {
    pugi::xml_node found;
    for (pugi::xml_node child : parent.children()) {
        if (child.type() == pugi::node_element) {
            if (found) fail(child, "more than one element in " + std::string(what));
            found = child;
        } else if (child.type() == pugi::node_pcdata) {
            if (!isBlank(child.value())) fail(child, "text in " + std::string(what));
        } else if (child.type() == pugi::node_cdata) {
            fail(child, "CDATA in " + std::string(what));
        }
    }
    if (!found) fail(parent, std::string("no element in ") + what);
    return found;
}

}  // namespace

std::string writePropertyList(const PropertyValue& value) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node plist = document.append_child("plist");
    plist.append_attribute("version") = "1.0";
    appendElement(plist, value);
    std::ostringstream out;
    document.save(out, "\t", pugi::format_indent, pugi::encoding_utf8);
    return out.str();
}

PropertyValue readPropertyList(std::string_view xml) {
    // Whitespace-only text is kept (a string of spaces is a value), line ends
    // are not rewritten (they belong to the paths stored here), and
    // references are resolved by resolveReferences.
    constexpr unsigned options = pugi::parse_cdata | pugi::parse_ws_pcdata;
    pugi::xml_document document;
    pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
    if (!parsed)
        throw PropertyListError("property list, byte " + std::to_string(parsed.offset) + ": " + parsed.description());
    pugi::xml_node top = onlyElement(document, "the document");
    if (std::string_view(top.name()) != "plist") return valueOf(top, 0);
    return valueOf(onlyElement(top, "<plist>"), 0);
}

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
