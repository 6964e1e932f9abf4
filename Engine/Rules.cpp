#include "Rules.h"

#include "Home.h"

#include <yaml-cpp/yaml.h>

#include <fstream>
#include <set>
#include <sstream>

namespace tidewell::engine {

namespace {

class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void fail(const YAML::Mark& mark, const std::string& what) const {
        std::string where = source_;
        if (mark.line >= 0) where += ", line " + std::to_string(mark.line + 1);
        throw RulesError("rules file " + where + ": " + what);
    }

    void expectMap(const YAML::Node& n, const std::string& what) const {
        if (!n.IsMap()) fail(n.Mark(), what + " must be a mapping");
    }

    std::string text(const YAML::Node& parent, const char* key, const std::string& what) const {
        const YAML::Node n = parent[key];
        if (!n) fail(parent.Mark(), what + " has no \"" + key + "\"");
        if (!n.IsScalar() || n.Scalar().empty()) fail(n.Mark(), what + " \"" + key + "\" must be a non-empty text");
        return n.Scalar();
    }

    std::vector<std::pair<std::string, YAML::Mark>> texts(const YAML::Node& n, const std::string& what) const {
        if (!n.IsSequence()) fail(n.Mark(), what + " must be a list");
        std::vector<std::pair<std::string, YAML::Mark>> out;
        for (const auto& item : n) {
            if (!item.IsScalar() || item.Scalar().empty()) fail(item.Mark(), what + " entries must be non-empty texts");
            out.emplace_back(item.Scalar(), item.Mark());
        }
        return out;
    }

    void onlyKeys(const YAML::Node& n, std::initializer_list<const char*> keys, const std::string& what) const {
        for (const auto& kv : n) {
            const std::string k = kv.first.as<std::string>("");
            bool known = false;
            for (const char* key : keys) known = known || k == key;
            if (!known) fail(kv.first.Mark(), what + " has an unknown key \"" + k + "\"");
        }
    }

    std::string safetyClass(const YAML::Node& parent, const std::string& what) const {
        std::string c = text(parent, "class", what);
        if (c != "safe" && c != "caution") fail(parent["class"].Mark(), what + " class must be \"safe\" or \"caution\", not \"" + c + "\"");
        return c;
    }

private:
    std::string source_;
};

bool validId(const std::string& id) {
    for (char c : id)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return !id.empty();
}

bool hasWildcard(const std::string& s) { return s.find_first_of("*?[") != std::string::npos; }

// A relative folder path: no leading "/", no empty, "." or ".." component, a
// glob only in the last one; or "**/" and one plain name.
bool validRelative(const std::string& path) {
    std::string p = path;
    const bool anywhere = p.rfind("**/", 0) == 0;
    if (anywhere) p = p.substr(3);
    if (p.empty() || p.front() == '/' || p.back() == '/') return false;
    if (anywhere && (p.find('/') != std::string::npos || hasWildcard(p))) return false;
    const auto lastSlash = p.rfind('/');
    if (lastSlash != std::string::npos && hasWildcard(p.substr(0, lastSlash))) return false;
    std::stringstream ss(p);
    std::string part;
    while (std::getline(ss, part, '/'))
        if (part.empty() || part == "." || part == "..") return false;
    return true;
}

// A list of checks of which any one must hold.
std::vector<ConfirmRule> confirmRules(const Reader& r, const YAML::Node& confirm, const std::string& what) {
    if (!confirm.IsSequence()) r.fail(confirm.Mark(), what + " confirm must be a list");
    std::vector<ConfirmRule> out;
    for (const auto& c : confirm) {
        r.expectMap(c, what + " confirm entry");
        r.onlyKeys(c, {"path", "contains"}, what + " confirm entry");
        ConfirmRule rule;
        rule.path = r.text(c, "path", what + " confirm entry");
        if (!validRelative(rule.path) || hasWildcard(rule.path) || rule.path.rfind("**/", 0) == 0)
            r.fail(c["path"].Mark(), what + " confirm path \"" + rule.path + "\" must be a plain relative path");
        if (c["contains"]) rule.contains = r.text(c, "contains", what + " confirm entry");
        out.push_back(std::move(rule));
    }
    return out;
}

}  // namespace

Rules parseRules(std::string_view text, const std::string& source, const std::string& home) {
    Reader r(source);
    YAML::Node root;
    try {
        root = YAML::Load(std::string(text));
    } catch (const YAML::ParserException& e) {
        r.fail(e.mark, e.msg);
    }
    if (!root.IsMap()) r.fail(root.Mark(), "the document must be a mapping");
    r.onlyKeys(root, {"version", "stacks", "global_caches", "skip"}, "the document");

    Rules rules;
    if (const auto v = root["version"]) {
        if (!v.IsScalar() || v.Scalar() != "1") r.fail(v.Mark(), "unsupported version \"" + v.as<std::string>("") + "\"");
    }

    const YAML::Node stacks = root["stacks"];
    if (!stacks) r.fail(root.Mark(), "the document has no \"stacks\"");
    if (!stacks.IsSequence() || stacks.size() == 0) r.fail(stacks.Mark(), "\"stacks\" must be a non-empty list");
    if (stacks.size() > 64) r.fail(stacks.Mark(), "at most 64 stacks are supported");
    std::set<std::string> ids;
    for (const auto& s : stacks) {
        r.expectMap(s, "a stack");
        r.onlyKeys(s, {"id", "label", "markers", "artifacts", "confirm", "enclosed_by"}, "a stack");
        StackRule stack;
        stack.id = r.text(s, "id", "a stack");
        if (!validId(stack.id)) r.fail(s["id"].Mark(), "stack id \"" + stack.id + "\" must be lower-case letters, digits and \"_\"");
        if (!ids.insert(stack.id).second) r.fail(s["id"].Mark(), "stack id \"" + stack.id + "\" appears twice");
        const std::string what = "stack \"" + stack.id + "\"";
        stack.label = r.text(s, "label", what);
        if (!s["markers"]) r.fail(s.Mark(), what + " has no \"markers\"");
        for (auto& [m, mark] : r.texts(s["markers"], what + " markers")) {
            if (m.find('/') != std::string::npos) r.fail(mark, what + " marker \"" + m + "\" must be a name, not a path");
            stack.markers.push_back(m);
        }
        if (stack.markers.empty()) r.fail(s["markers"].Mark(), what + " needs at least one marker");
        if (const auto arts = s["artifacts"]) {
            if (!arts.IsSequence()) r.fail(arts.Mark(), what + " artifacts must be a list");
            for (const auto& a : arts) {
                r.expectMap(a, what + " artifact");
                r.onlyKeys(a, {"path", "class", "confirm"}, what + " artifact");
                ArtifactRule art;
                art.path = r.text(a, "path", what + " artifact");
                if (!validRelative(art.path)) r.fail(a["path"].Mark(), what + " artifact path \"" + art.path + "\" must be a relative folder path without \"..\"");
                art.safetyClass = r.safetyClass(a, what + " artifact");
                if (const auto confirm = a["confirm"]) {
                    if (art.path.rfind("**/", 0) == 0)
                        r.fail(confirm.Mark(), what + " artifact \"" + art.path + "\" is found anywhere and cannot have confirm");
                    art.confirm = confirmRules(r, confirm, what + " artifact \"" + art.path + "\"");
                }
                stack.artifacts.push_back(std::move(art));
            }
        }
        if (const auto enclosers = s["enclosed_by"]) {
            for (auto& [m, mark] : r.texts(enclosers, what + " enclosed_by")) {
                if (m.find('/') != std::string::npos || hasWildcard(m)) r.fail(mark, what + " enclosed_by \"" + m + "\" must be a plain name");
                stack.enclosedBy.push_back(m);
            }
        }
        if (const auto confirm = s["confirm"]) stack.confirm = confirmRules(r, confirm, what);
        rules.stacks.push_back(std::move(stack));
    }

    if (const auto caches = root["global_caches"]) {
        if (!caches.IsSequence()) r.fail(caches.Mark(), "\"global_caches\" must be a list");
        std::set<std::string> cacheIds;
        for (const auto& c : caches) {
            r.expectMap(c, "a global cache");
            r.onlyKeys(c, {"id", "label", "path", "class"}, "a global cache");
            CacheRule cache;
            cache.id = r.text(c, "id", "a global cache");
            if (!validId(cache.id)) r.fail(c["id"].Mark(), "cache id \"" + cache.id + "\" must be lower-case letters, digits and \"_\"");
            if (!cacheIds.insert(cache.id).second) r.fail(c["id"].Mark(), "cache id \"" + cache.id + "\" appears twice");
            const std::string what = "cache \"" + cache.id + "\"";
            cache.label = r.text(c, "label", what);
            cache.path = expandHome(r.text(c, "path", what), home);
            if (cache.path.front() != '/') r.fail(c["path"].Mark(), what + " path must be absolute or start with \"~\"");
            cache.path = normalizePath(cache.path);
            cache.safetyClass = r.safetyClass(c, what);
            rules.caches.push_back(std::move(cache));
        }
    }

    if (const auto skip = root["skip"]) {
        r.expectMap(skip, "\"skip\"");
        r.onlyKeys(skip, {"paths", "names"}, "\"skip\"");
        if (const auto paths = skip["paths"]) {
            for (auto& [p, mark] : r.texts(paths, "skip paths")) {
                std::string full = expandHome(p, home);
                if (full.front() != '/') r.fail(mark, "skip path \"" + p + "\" must be absolute or start with \"~\"");
                rules.skipPaths.push_back(normalizePath(full));
            }
        }
        if (const auto names = skip["names"]) {
            for (auto& [n, mark] : r.texts(names, "skip names")) {
                if (n.find('/') != std::string::npos) r.fail(mark, "skip name \"" + n + "\" must be a name, not a path");
                rules.skipNames.push_back(n);
            }
        }
    }
    return rules;
}

Rules loadRulesFile(const std::string& path, const std::string& home) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RulesError("rules file " + path + ": cannot be read");
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw RulesError("rules file " + path + ": cannot be read");
    return parseRules(ss.str(), path, home);
}

Rules builtinRules(const std::string& home) { return parseRules(kBuiltinRulesText, "(built-in)", home); }

}  // namespace tidewell::engine
