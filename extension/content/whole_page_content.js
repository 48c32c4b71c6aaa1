// The page's side of the whole-page capture, injected by the service worker
// with chrome.scripting.executeScript into the extension's isolated world.
// It measures the page, scrolls it a screen at a time, takes fixed and sticky
// elements out of the way and puts everything back afterwards.
//
// The worker calls KvWholePageContent.<step>(argument) through further
// executeScript calls; each step resolves to a plain object (with
// `cancelled: true` once the user pressed Escape on the page):
//   prepare()          picks what scrolls (the document, or its largest
//                      inner scroller when the document does not) and
//                      reports its geometry
//   loadAll({limit})   one pass down to `limit` CSS pixels (or the end),
//                      waiting for lazy images, then back to the top
//   showTile({y, role}) scrolls to `y` and shows the fixed elements that
//                      belong to a tile of that role ("only", "first",
//                      "middle", "last"); reports where it really scrolled to
//                      and the geometry at that moment
//   restore()          scroll positions, styles and hidden elements as they
//                      were; also run by itself when the worker goes quiet
"use strict";

(() => {
  if (globalThis.KvWholePageContent) return;  // injected once per document

  // Without a call from the worker for this long, the page puts itself back
  // (the worker was stopped, or the browser dropped it).
  const WATCHDOG_MS = 20000;
  // A lazy image that has not arrived after this long is not waited for.
  const IMAGE_WAIT_MS = 3000;
  const LOAD_PASS_MS = 30000;
  const SETTLE_MS = 120;

  // Everything changed, to be put back: elements by their original style
  // attribute (null: none) and the style text this script left on them.
  let changed = new Map();
  let state = null;
  let watchdog = 0;

  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  // Two frames painted (a hidden tab paints none: a timer stands in).
  function painted() {
    return new Promise((resolve) => {
      const timer = setTimeout(resolve, 200);
      requestAnimationFrame(() => requestAnimationFrame(() => {
        clearTimeout(timer);
        resolve();
      }));
    });
  }

  function setStyles(element, properties) {
    if (!changed.has(element)) changed.set(element, { original: element.getAttribute("style") });
    for (const [name, value] of Object.entries(properties)) {
      element.style.setProperty(name, value, "important");
    }
    changed.get(element).ours = element.getAttribute("style");
  }

  // The style attribute as it was when the page has not touched it since;
  // otherwise only the properties this script set are taken away again.
  function restoreElement(element, properties) {
    const entry = changed.get(element);
    if (!entry) return;
    if (element.getAttribute("style") === entry.ours) {
      if (entry.original === null) element.removeAttribute("style");
      else element.setAttribute("style", entry.original);
    } else {
      for (const name of properties) element.style.removeProperty(name);
    }
    changed.delete(element);
  }

  const HIDDEN = { visibility: "hidden", opacity: "0" };
  const UNSTUCK = { position: "relative", top: "auto", bottom: "auto", left: "auto",
                    right: "auto" };
  // Snap points would move the screens off the positions asked for.
  const UNSNAPPED = { "scroll-snap-type": "none" };
  const ALL_PROPERTIES = [...Object.keys(HIDDEN), ...Object.keys(UNSTUCK),
                          ...Object.keys(UNSNAPPED)];

  function viewportOverflow() {
    const html = getComputedStyle(document.documentElement).overflowY;
    const body = document.body ? getComputedStyle(document.body).overflowY : "visible";
    return html === "visible" ? body : html;
  }

  function scrollsItself(element) {
    const overflow = getComputedStyle(element).overflowY;
    return ["auto", "scroll", "overlay"].includes(overflow) &&
           element.scrollHeight > element.clientHeight + 1 && element.clientHeight > 0;
  }

  // The visible area of an element's box within the viewport.
  function visibleArea(element) {
    const r = element.getBoundingClientRect();
    const w = Math.min(r.right, innerWidth) - Math.max(r.left, 0);
    const h = Math.min(r.bottom, innerHeight) - Math.max(r.top, 0);
    return w > 0 && h > 0 ? w * h : 0;
  }

  // The document when it scrolls; else its largest scrolling element.
  function findScroller() {
    const root = document.scrollingElement || document.documentElement;
    const overflow = viewportOverflow();
    if (overflow !== "hidden" && overflow !== "clip" &&
        root.scrollHeight > root.clientHeight + 1) {
      return root;
    }
    let best = null;
    let bestArea = 0;
    for (const element of document.body ? document.body.querySelectorAll("*") : []) {
      if (!scrollsItself(element)) continue;
      const area = visibleArea(element);
      if (area > bestArea) {
        best = element;
        bestArea = area;
      }
    }
    return best || root;
  }

  function isDocument(element) {
    return element === (document.scrollingElement || document.documentElement);
  }

  // Where the scroller shows its content in the viewport (CSS pixels).
  function geometry() {
    const s = state.scroller;
    if (state.isDocument) {
      return { left: 0, top: 0, width: s.clientWidth, height: s.clientHeight,
               total: s.scrollHeight, viewportWidth: innerWidth };
    }
    const r = s.getBoundingClientRect();
    const left = Math.max(0, r.left + s.clientLeft);
    const top = Math.max(0, r.top + s.clientTop);
    return { left, top,
             width: Math.min(s.clientWidth, innerWidth - left),
             height: Math.min(s.clientHeight, innerHeight - top),
             total: s.scrollHeight, viewportWidth: innerWidth };
  }

  function scrollTo(y) {
    const options = { left: 0, top: y, behavior: "instant" };
    if (state.isDocument) window.scrollTo(options);
    else state.scroller.scrollTo(options);
  }

  function scrolledTo() {
    return state.isDocument ? window.scrollY : state.scroller.scrollTop;
  }

  // Fixed elements (by the half of the viewport they sit in) and sticky
  // ones, found anew at every step: some appear only once the page scrolls.
  function findPinned() {
    for (const element of document.body ? document.body.querySelectorAll("*") : []) {
      if (state.fixed.has(element) || state.sticky.has(element)) continue;
      const position = getComputedStyle(element).position;
      if (position === "sticky" && state.scroller.contains(element)) {
        state.sticky.add(element);
        // At its own place in the flow, scrolling with the content.
        setStyles(element, UNSTUCK);
      } else if (position === "fixed" && !element.contains(state.scroller)) {
        const r = element.getBoundingClientRect();
        state.fixed.set(element, (r.top + r.bottom) / 2 < innerHeight / 2 ? "top" : "bottom");
      }
    }
  }

  // Which fixed elements a tile shows: the top ones at the top of the page,
  // the bottom ones at its end, none in between.
  function showPinned(role) {
    const shows = { only: ["top", "bottom"], first: ["top"], middle: [], last: ["bottom"] };
    const shown = shows[role] || [];
    for (const [element, edge] of state.fixed) {
      if (shown.includes(edge)) restoreElement(element, Object.keys(HIDDEN));
      else setStyles(element, HIDDEN);
    }
  }

  // Lazy images near the viewport that are still arriving.
  function imagesArriving() {
    const margin = innerHeight;
    for (const image of document.images) {
      if (image.complete) continue;
      const r = image.getBoundingClientRect();
      if (r.bottom >= -margin && r.top <= innerHeight + margin) return true;
    }
    return false;
  }

  async function settle() {
    await painted();
    await sleep(SETTLE_MS);
    const end = Date.now() + IMAGE_WAIT_MS;
    while (imagesArriving() && Date.now() < end && !state.cancelled) await sleep(50);
    await painted();
  }

  function touch() {
    clearTimeout(watchdog);
    watchdog = setTimeout(restore, WATCHDOG_MS);
  }

  function onKey(event) {
    if (event.key !== "Escape" || !state) return;
    state.cancelled = true;
    event.preventDefault();
    event.stopImmediatePropagation();
  }

  function answer(values) {
    return Object.assign({ cancelled: !!(state && state.cancelled) }, values);
  }

  function prepare() {
    if (state) restore();
    const scroller = findScroller();
    state = {
      scroller,
      isDocument: isDocument(scroller),
      fixed: new Map(),
      sticky: new Set(),
      cancelled: false,
      windowScroll: [window.scrollX, window.scrollY],
      scrollerScroll: [scroller.scrollLeft, scroller.scrollTop],
    };
    window.addEventListener("keydown", onKey, true);
    touch();
    setStyles(scroller, UNSNAPPED);
    if (state.isDocument && document.body) setStyles(document.body, UNSNAPPED);
    findPinned();
    return answer(Object.assign({ innerScroller: !state.isDocument,
                                  devicePixelRatio: window.devicePixelRatio }, geometry()));
  }

  // After the page put itself back, the worker's later steps find nothing.
  const LOST = { lost: true };

  async function loadAll({ limit }) {
    if (!state) return LOST;
    touch();
    const end = Date.now() + LOAD_PASS_MS;
    for (let y = 0; !state.cancelled; y += Math.max(1, geometry().height)) {
      scrollTo(y);
      await settle();
      touch();
      const g = geometry();
      if (scrolledTo() + g.height >= Math.min(g.total, limit) - 1 || Date.now() > end) break;
    }
    scrollTo(0);
    await settle();
    findPinned();
    return answer(geometry());
  }

  async function showTile({ y, role }) {
    if (!state) return LOST;
    touch();
    findPinned();
    showPinned(role);
    scrollTo(y);
    await painted();
    await sleep(30);
    await painted();
    return answer(Object.assign(geometry(), { y: scrolledTo() }));
  }

  function restore() {
    clearTimeout(watchdog);
    if (!state) return answer({});
    const s = state;
    window.removeEventListener("keydown", onKey, true);
    for (const element of [...changed.keys()]) restoreElement(element, ALL_PROPERTIES);
    if (!s.isDocument) {
      s.scroller.scrollTo({ left: s.scrollerScroll[0], top: s.scrollerScroll[1],
                            behavior: "instant" });
    }
    window.scrollTo({ left: s.windowScroll[0], top: s.windowScroll[1], behavior: "instant" });
    state = null;
    return { cancelled: s.cancelled };
  }

  globalThis.KvWholePageContent = { prepare, loadAll, showTile, restore };
})();
