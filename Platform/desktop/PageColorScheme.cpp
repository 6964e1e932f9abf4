#include "desktop/PageColorScheme.h"

namespace platform {

namespace {

// The entry point a document's script leaves on its window (in its own world).
constexpr const char* follow = "__tidewellFollowColorScheme";

// Each media list that names the feature keeps its own text; while the
// window's appearance differs from the engine's, the list holds that text
// with "dark" and "light" exchanged, so the condition matches exactly when
// it would under an engine of the window's appearance. Sheets are looked at
// as they come (inline styles as they are parsed, linked ones and imports as
// they load, before each frame until the document is complete), and all of
// them again when the appearance changes.
constexpr const char* script = R"JS(
(() => {
  const follow = '__FOLLOW__';
  if (window[follow]) { window[follow](__DARK__); return; }
  const engineDark = window.matchMedia('(prefers-color-scheme: dark)').matches;
  let dark = __DARK__;
  const named = /prefers-color-scheme/i;
  const feature = /(prefers-color-scheme\s*:\s*)(dark|light)/gi;
  const swapped = text => text.replace(feature, (_, head, value) => head + (value.toLowerCase() === 'dark' ? 'light' : 'dark'));
  const lists = new WeakMap();
  const seen = new WeakSet();
  const place = media => {
    if (!media) return;
    let list = lists.get(media);
    if (!list) {
      const own = media.mediaText;
      if (!named.test(own)) return;
      list = { own, turned: false };
      lists.set(media, list);
    }
    const turn = dark !== engineDark;
    if (list.turned === turn) return;
    list.turned = turn;
    media.mediaText = turn ? swapped(list.own) : list.own;
  };
  const rules = list => {
    for (const rule of list) {
      if (rule.media) place(rule.media);
      if (rule.styleSheet) sheet(rule.styleSheet);
      if (rule.cssRules) rules(rule.cssRules);
    }
  };
  const sheet = s => {
    seen.add(s);
    place(s.media);
    let list;
    try { list = s.cssRules; } catch (e) { return; }  // another origin's sheet
    rules(list);
  };
  const sheets = () => [...document.styleSheets, ...(document.adoptedStyleSheets || [])];
  const all = () => sheets().forEach(sheet);
  const fresh = () => sheets().forEach(s => { if (!seen.has(s)) sheet(s); });
  new MutationObserver(fresh).observe(document, { childList: true, subtree: true });
  document.addEventListener('load', all, true);
  const frame = () => { fresh(); if (document.readyState !== 'complete') requestAnimationFrame(frame); };
  requestAnimationFrame(frame);
  window.addEventListener('load', all);
  window[follow] = value => {
    dark = value;
    all();
    for (let i = 0; i < window.frames.length; ++i) {
      try { if (window.frames[i][follow]) window.frames[i][follow](value); } catch (e) {}
    }
  };
})();
)JS";

std::string withValues(std::string text, bool dark) {
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"__FOLLOW__", follow},
                                     std::pair<std::string, std::string>{"__DARK__", dark ? "true" : "false"}})
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
}

}  // namespace

std::string pageColorSchemeScript(bool dark) { return withValues(script, dark); }

std::string pageColorSchemeChange(bool dark) {
    return withValues("if (window.__FOLLOW__) window.__FOLLOW__(__DARK__);", dark);
}

}  // namespace platform
