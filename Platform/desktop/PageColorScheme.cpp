#include "desktop/PageColorScheme.h"

namespace platform {

namespace {

// The entry point a document's script leaves on its window (in its world).
constexpr const char* follow = "__tidewellFollowColorScheme";

// What both scripts share: the appearance the document follows now, the
// engine's own (its preference when it started), a query text with the
// feature's "dark" and "light" exchanged (it then matches exactly when the
// text would under an engine of the other preference), and the entry point
// that moves the document and its frames (those it may reach) to another
// appearance. `update` is the script's own part of a move.
constexpr const char* frame = R"JS(
(() => {
  const follow = '__FOLLOW__';
  if (window[follow]) { window[follow](__DARK__); return; }
  let dark = __DARK__;
  const ask = window.matchMedia.bind(window);
  const engineDark = ask('(prefers-color-scheme: dark)').matches;
  const named = /prefers-color-scheme/i;
  const feature = /(prefers-color-scheme\s*:\s*)(dark|light)/gi;
  const swapped = text => text.replace(feature, (_, head, value) => head + (value.toLowerCase() === 'dark' ? 'light' : 'dark'));
  let update = () => {};
  __BODY__
  Object.defineProperty(window, follow, {
    value: value => {
      dark = value;
      update();
      for (let i = 0; i < window.frames.length; ++i) {
        try { if (window.frames[i][follow]) window.frames[i][follow](value); } catch (e) {}
      }
    },
  });
})();
)JS";

// The style sheets: each media list that names the feature keeps its own
// text, and holds the exchanged one while the window's appearance differs
// from the engine's. Sheets are looked at as they come (inline styles as
// they are parsed, linked ones and imports as they load, before each frame
// until the document is complete), and all of them again on a move.
constexpr const char* sheetsBody = R"JS(
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
  const nextFrame = () => { fresh(); if (document.readyState !== 'complete') requestAnimationFrame(nextFrame); };
  requestAnimationFrame(nextFrame);
  window.addEventListener('load', all);
  update = all;
)JS";

// The page's own scripts: matchMedia answers a query that names the feature
// from its own text, or from the exchanged one while the appearances differ,
// as a list that tells its listeners of every change of its answer, a move's
// included. Other queries go to the engine as they are.
constexpr const char* queriesBody = R"JS(
  const live = new Set();
  class FollowingList extends EventTarget {
    #own; #turned; #last; #handler = null;
    constructor(query) {
      super();
      this.#own = ask(query);
      this.#turned = ask(swapped(query));
      this.#last = this.matches;
      const check = () => this.check();
      this.#own.addEventListener('change', check);
      this.#turned.addEventListener('change', check);
      live.add(new WeakRef(this));
    }
    get media() { return this.#own.media; }
    get matches() { return (dark === engineDark ? this.#own : this.#turned).matches; }
    get onchange() { return this.#handler; }
    set onchange(handler) { this.#handler = typeof handler === 'function' ? handler : null; }
    addListener(listener) { this.addEventListener('change', listener); }
    removeListener(listener) { this.removeEventListener('change', listener); }
    check() {
      const matches = this.matches;
      if (matches === this.#last) return;
      this.#last = matches;
      const event = new MediaQueryListEvent('change', { media: this.media, matches });
      if (this.#handler) this.#handler.call(this, event);
      this.dispatchEvent(event);
    }
  }
  Object.setPrototypeOf(FollowingList.prototype, MediaQueryList.prototype);
  Object.defineProperty(window, 'matchMedia', {
    configurable: true, enumerable: true, writable: true,
    value: function matchMedia(query) {
      const text = String(query);
      return named.test(text) ? new FollowingList(text) : ask(text);
    },
  });
  update = () => {
    for (const ref of live) {
      const list = ref.deref();
      if (list) list.check();
      else live.delete(ref);
    }
  };
)JS";

std::string withValues(std::string text, bool dark, const std::string& body = {}) {
    const std::pair<std::string, std::string> values[] = {
        {"__BODY__", body}, {"__FOLLOW__", follow}, {"__DARK__", dark ? "true" : "false"}};
    for (const auto& [key, value] : values)
        for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += value.size())
            text.replace(at, key.size(), value);
    return text;
}

}  // namespace

std::string pageColorSchemeScript(bool dark) { return withValues(frame, dark, sheetsBody); }

std::string pageColorQueriesScript(bool dark) { return withValues(frame, dark, queriesBody); }

std::string pageColorSchemeChange(bool dark) {
    return withValues("if (window.__FOLLOW__) window.__FOLLOW__(__DARK__);", dark);
}

}  // namespace platform
