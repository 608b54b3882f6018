// One file on purpose, longer than the others: it goes whole into a page as one expression (an
// isolated world, a BiDi sandbox); split, it would need a bundling step.
//
// Pixtrawl page serializer. A function expression of one argument, the options; serializerScript()
// gives the call, an expression whose value is ONE STRING, the JSON text of the page's document (or,
// with loadLazy, a promise of that string):
//
//   {"v": 2, "id": snapshot id, "url": document.URL, "title": document.title, "base": document.baseURI,
//    "nodes": [...], "frames": [document | {"error": reason}, ...]}
//
// Options:
//   handles   (default true)  keep the elements in __pxt for the writes below; false: id is 0 and
//                             nothing is kept in the world the script runs in
//   loadLazy  (default false) images with loading="lazy" that have not loaded are made to load first,
//                             waiting at most lazyWaitMs (3000) for all of them
//   frameSlots (default false) a frame of another origin is {"slot": k, "error": reason}, and its
//                             IFRAME or FRAME element is entry k of globalThis.__pxtSlots (in the
//                             world the script runs in), so the caller can read it on its own
//   watch     (default false) keep track of the document (with handles, when it has no frames) so
//                             that __pxt.changes below can tell what changed since
//   links     (default false) what a harvest reads: each document's nodes are only its first HTML
//                             TITLE element, its HTML META elements named "referrer", its HTML A
//                             and AREA elements with an href, and its HTML IMG elements outside them
//                             that name a full picture (data-original, data-full, data-large-file,
//                             data-orig-file, data-zoom-image, data-highres), each with what lies
//                             inside it (a link inside another comes with that one), as top-level
//                             nodes in document order. In a link without an IMG, the first element
//                             (the link itself, else what lies inside it, in document order) drawn
//                             with a CSS background picture is a record of kind 7 or 8
//
// "nodes" is one flat list of node records in document order (pre-order), one after the other:
//   parent, kind, ...        parent: index of the parent's record, -1 for a top-level node
//   kind 0 text:             data
//   kind 1 comment:          data
//   kind 2 HTML element:     localName, n, name1, value1, ... name_n, value_n   (its attributes)
//   kind 3 HTML IMG:         as 2, then width, height, src      (as the browser shows the picture)
//   kind 4 HTML A or AREA:   as 2, then href
//   kind 5 HTML INPUT:       as 2, then checked (0 or 1), value
//   kind 6 other element:    localName, tagName, n, attributes as 2   (SVG, MathML)
//   kind 7 HTML A or AREA drawn with a background picture: as 4, then width, height, picture
//   kind 8 other HTML element drawn with a background picture: as 2, then width, height, picture
//                            (its shown size, and the first url() of its computed background-image)
// An image's src is its currentSrc where set, else src; where that is a placeholder (a data: address,
// or a picture that has not loaded) and the element names a lazy-load address (data-src,
// data-lazy-src, data-original, the first candidate of data-srcset), that address resolved against
// the document's base. Its size is the laid-out one; for a loading="lazy" image that has not loaded,
// its width and height attributes, else 0.
// Every string of a record (data, names, values, addresses) is written out the first time only; where
// it comes again, the record holds the number k instead: the k-th string written out in this
// document's list, counted from 0. A thumbnail cell names its address five times.
// "frames" lists window.frames in index order; a frame whose document cannot be read (another
// origin) is {"error": the reason}.
//
// The i-th element record of a document has the handle i under that document's snapshot id:
// __pxt keeps every serialized element, so the writes of the program reach that very element:
//   __pxt.check(id, handle, on)     sets checked
//   __pxt.html(id, handle, text)    sets innerHTML
//   __pxt.append(id, handle, text)  appends with insertAdjacentHTML('beforeend', text)
//   __pxt.htmlRead(id, handle, text), __pxt.appendRead(id, handle, text)
//                                   the same, and give back the new nodes as the page parsed them:
//                                   the JSON text {"first": the first new handle, "nodes": [...]},
//                                   records as above with parent -1 for the element written to;
//                                   null when the element is gone
//   __pxt.checks(id, [handles], on) sets checked on each
//   __pxt.drop(id)                  forgets a snapshot
// The elements a write creates get the next handles, in document order.
//
// A watched document (one at a time, the last one read with watch) is kept in step cheaply:
//   __pxt.changes(id, what)         the JSON text of what changed since the read or the last call,
//                                   other than by the writes above: a flat list of
//                                   5, handle, checked, value       an input's state (what & 1)
//                                   3, handle, width, height, src   an image as shown (what & 2)
//                                   or "null" when anything else may have changed (the tree, a text,
//                                   an attribute, the address): then the page is to be read afresh.
((options) => {
  'use strict';
  options = options || {};
  const keepHandles = options.handles !== false;
  const HTML = 'http://www.w3.org/1999/xhtml';
  const KEEP = 8; // at most this many serializer calls keep their snapshots; the program drops its own

  // The DOM's own accessors: a page can shadow the plain properties of a form or of the document
  // with elements of that name (<input name="nextSibling">), which would lead a walk astray.
  const getter = (proto, name) => Object.getOwnPropertyDescriptor(proto, name).get;
  const setter = (proto, name) => Object.getOwnPropertyDescriptor(proto, name).set;
  const firstChild = getter(Node.prototype, 'firstChild');
  const lastChild = getter(Node.prototype, 'lastChild');
  const nextSibling = getter(Node.prototype, 'nextSibling');
  const parentNode = getter(Node.prototype, 'parentNode');
  const nodeType = getter(Node.prototype, 'nodeType');
  const baseURI = getter(Node.prototype, 'baseURI');
  const charData = getter(CharacterData.prototype, 'data');
  const localName = getter(Element.prototype, 'localName');
  const namespaceURI = getter(Element.prototype, 'namespaceURI');
  const tagName = getter(Element.prototype, 'tagName');
  const attributes = getter(Element.prototype, 'attributes');
  // Names and values as strings are faster than the attribute objects.
  const getAttributeNames = Element.prototype.getAttributeNames;
  const getAttribute = Element.prototype.getAttribute;
  const setInnerHTML = setter(Element.prototype, 'innerHTML');
  const insertAdjacentHTML = Element.prototype.insertAdjacentHTML;
  const docTitle = getter(Document.prototype, 'title');
  const docURL = getter(Document.prototype, 'URL');
  const defaultView = getter(Document.prototype, 'defaultView');
  const querySelectorAll = Document.prototype.querySelectorAll;
  const getElementsByTagNameNS = Document.prototype.getElementsByTagNameNS;
  const contains = Node.prototype.contains;
  const compareDocumentPosition = Node.prototype.compareDocumentPosition;
  const setAttribute = Element.prototype.setAttribute;
  const addEventListener = EventTarget.prototype.addEventListener;
  const removeEventListener = EventTarget.prototype.removeEventListener;
  const imageSrc = getter(HTMLImageElement.prototype, 'src');
  const currentSrc = getter(HTMLImageElement.prototype, 'currentSrc');
  const complete = getter(HTMLImageElement.prototype, 'complete');
  const naturalWidth = getter(HTMLImageElement.prototype, 'naturalWidth');
  const Observer = MutationObserver;
  const observe = Observer.prototype.observe;
  const takeRecords = Observer.prototype.takeRecords;
  const disconnect = Observer.prototype.disconnect;
  const LAZY_ADDRESSES = ['data-src', 'data-lazy-src', 'data-original'];
  const FULL_PICTURES = ['data-original', 'data-full', 'data-large-file', 'data-orig-file', 'data-zoom-image',
                         'data-highres'];
  const querySelector = Element.prototype.querySelector;
  const getBoundingClientRect = Element.prototype.getBoundingClientRect;
  const BACKGROUND_SEARCH = 64; // elements of a link looked at for a background, at most
  const MAX_DEPTH = 32;

  const isLoaded = (img) => complete.call(img) && naturalWidth.call(img) > 0;
  const isLazy = (img) => (getAttribute.call(img, 'loading') || '').trim().toLowerCase() === 'lazy';

  // The address a lazy-load script will put in place of the placeholder, or null.
  function lazyAddress(img) {
    for (const name of LAZY_ADDRESSES) {
      const v = getAttribute.call(img, name);
      if (v !== null && v.trim() !== '') return v.trim();
    }
    const set = getAttribute.call(img, 'data-srcset');
    if (set !== null) {
      const first = set.trim().split(/\s+/)[0].replace(/,+$/, '');
      if (first !== '') return first;
    }
    return null;
  }

  // A size attribute by the rules for non-negative integers; 0 when missing or bad.
  function sizeAttribute(img, name) {
    const v = parseInt(getAttribute.call(img, name), 10);
    return v > 0 ? v : 0;
  }

  // Width, height and address of a picture as the browser shows it.
  function imageRecord(img, doc) {
    let src = currentSrc.call(img) || imageSrc.call(img);
    const loaded = isLoaded(img);
    if (!loaded || src.startsWith('data:')) {
      const lazy = lazyAddress(img);
      if (lazy !== null) {
        try {
          src = new URL(lazy, baseURI.call(doc)).href;
        } catch (e) {
          // not an address: the placeholder stays
        }
      }
    }
    if (!loaded && isLazy(img)) return [sizeAttribute(img, 'width'), sizeAttribute(img, 'height'), src];
    return [img.width, img.height, src];
  }

  // The images with loading="lazy" of the document and its readable frames that have not loaded yet.
  function pendingLazyImages(doc, depth, out) {
    for (const img of querySelectorAll.call(doc, 'img[loading]'))
      if (isLazy(img) && !complete.call(img)) out.push(img);
    const win = defaultView.call(doc);
    const length = win && depth + 1 < MAX_DEPTH ? win.frames.length : 0;
    for (let i = 0; i < length; i++) {
      try {
        const sub = win.frames[i].document;
        if (sub) pendingLazyImages(sub, depth + 1, out);
      } catch (e) {
        // another origin: read, if at all, on its own
      }
    }
  }

  // Makes the pending lazy images load (loading="eager" for the while, then as it was) and resolves
  // when all have loaded or failed, or after ms at most.
  function loadLazyImages(ms) {
    const images = [];
    pendingLazyImages(document, 0, images);
    if (images.length === 0) return Promise.resolve();
    return new Promise((resolve) => {
      let left = images.length;
      let timer = 0;
      const watched = [];
      const finish = () => {
        if (timer === null) return;
        clearTimeout(timer);
        timer = null;
        for (const [img, handler, loading] of watched) {
          removeEventListener.call(img, 'load', handler);
          removeEventListener.call(img, 'error', handler);
          setAttribute.call(img, 'loading', loading);
        }
        resolve();
      };
      timer = setTimeout(finish, ms);
      for (const img of images) {
        let settled = false;
        const handler = () => {
          if (settled) return;
          settled = true;
          if (--left === 0) finish();
        };
        watched.push([img, handler, getAttribute.call(img, 'loading')]);
        addEventListener.call(img, 'load', handler);
        addEventListener.call(img, 'error', handler);
        setAttribute.call(img, 'loading', 'eager');
      }
    });
  }

  let P = keepHandles ? globalThis.__pxt : null;
  if (keepHandles && (!P || P.v !== 3)) {
    P = {
      v: 3,
      next: 1 + Math.floor(Math.random() * 1e9),
      snaps: new Map(), // id -> elements by handle
      calls: [],        // ids of each call's documents, oldest first
      add(els) {
        const id = this.next++;
        if (this.next > 2e9) this.next = 1;
        this.snaps.set(id, els);
        return id;
      },
      endCall(ids) {
        this.calls.push(ids);
        while (this.calls.length > KEEP)
          for (const id of this.calls.shift()) this.snaps.delete(id);
      },
      el(id, h) {
        const els = this.snaps.get(id);
        return els ? els[h] : undefined;
      },
      // The elements under top from node first on get the next handles, in document order.
      adopt(id, top, first) {
        const els = this.snaps.get(id);
        if (!els) return;
        let n = first;
        while (n) {
          if (nodeType.call(n) === 1) els.push(n);
          const child = firstChild.call(n);
          if (child) { n = child; continue; }
          while (n !== top && !nextSibling.call(n)) n = parentNode.call(n);
          n = n === top ? null : nextSibling.call(n);
        }
      },
      check(id, h, on) {
        const e = this.el(id, h);
        if (!e) return;
        e.checked = on;
        const w = this.watch;
        if (w && w.id === id && w.checked[h] !== undefined) w.checked[h] = e.checked;
      },
      checks(id, hs, on) {
        for (const h of hs) this.check(id, h, on);
      },
      // The watched document's own changes are told from the program's writes: those pending
      // before a write are kept as a sign of change, the write's own are dropped.
      quiet(id, write) {
        const w = this.watch;
        if (!w || w.id !== id) return write();
        if (takeRecords.call(w.observer).length > 0) w.stale = true;
        try {
          return write();
        } finally {
          takeRecords.call(w.observer);
        }
      },
      // Writes without read-back adopt new elements the watch does not know.
      html(id, h, text) {
        const e = this.el(id, h);
        if (!e) return;
        setInnerHTML.call(e, text);
        this.adopt(id, e, firstChild.call(e));
        this.unwatch(id);
      },
      append(id, h, text) {
        const e = this.el(id, h);
        if (!e) return;
        const last = lastChild.call(e);
        insertAdjacentHTML.call(e, 'beforeend', text);
        this.adopt(id, e, last ? nextSibling.call(last) : firstChild.call(e));
        this.unwatch(id);
      },
      // The new nodes under e from first on, as records, their elements adopted.
      readBack(id, e, first) {
        const els = this.snaps.get(id);
        const start = els.length;
        const w = this.watch && this.watch.id === id ? this.watch : null;
        const nodes = first ? records(e.ownerDocument, e, first, els, w) : [];
        return JSON.stringify({first: start, nodes: nodes});
      },
      htmlRead(id, h, text) {
        const e = this.el(id, h);
        if (!e) return null;
        return this.quiet(id, () => {
          setInnerHTML.call(e, text);
          return this.readBack(id, e, firstChild.call(e));
        });
      },
      appendRead(id, h, text) {
        const e = this.el(id, h);
        if (!e) return null;
        return this.quiet(id, () => {
          const last = lastChild.call(e);
          insertAdjacentHTML.call(e, 'beforeend', text);
          return this.readBack(id, e, last ? nextSibling.call(last) : firstChild.call(e));
        });
      },
      drop(id) {
        this.snaps.delete(id);
        this.calls = this.calls.filter((g) => g.some((i) => this.snaps.has(i)));
        this.unwatch(id);
      },
      watch: null,
      unwatch(id) {
        if (this.watch && (id === undefined || this.watch.id === id)) {
          disconnect.call(this.watch.observer);
          this.watch = null;
        }
      },
      changes(id, what) {
        const w = this.watch;
        const els = this.snaps.get(id);
        if (!w || w.id !== id || !els || w.stale || takeRecords.call(w.observer).length > 0
            || docURL.call(w.doc) !== w.url)
          return 'null';
        const out = [];
        for (const h of what & 1 ? w.inputs : []) {
          const e = els[h];
          const c = e.checked, v = e.value;
          if (c !== w.checked[h] || v !== w.values[h]) {
            w.checked[h] = c;
            w.values[h] = v;
            out.push(5, h, c ? 1 : 0, v);
          }
        }
        // (Sizes as laid out cost a layout check each: some 3 ms for 1,000 images.)
        for (const h of what & 2 ? w.images : []) {
          const [width, height, src] = imageRecord(els[h], w.doc);
          if (width !== w.widths[h] || height !== w.heights[h] || src !== w.srcs[h]) {
            w.widths[h] = width;
            w.heights[h] = height;
            w.srcs[h] = src;
            out.push(3, h, width, height, src);
          }
        }
        return JSON.stringify(out);
      },
    };
    globalThis.__pxt = P;
  }

  const ids = [];
  const slots = options.frameSlots ? [] : null;

  // What a watch keeps of a document: its inputs' and images' state as last reported, by handle,
  // and an observer of everything else.
  function newWatch(doc) {
    const w = {
      id: 0, doc: doc, url: docURL.call(doc), stale: false,
      inputs: [], checked: [], values: [],
      images: [], widths: [], heights: [], srcs: [],
    };
    w.observer = new Observer(() => {
      w.stale = true;
      disconnect.call(w.observer);
    });
    return w;
  }

  // The IFRAME or FRAME element of the document that holds the frame window w, or null.
  function frameOwner(doc, w) {
    for (const el of querySelectorAll.call(doc, 'iframe, frame'))
      if (el.contentWindow === w) return el;
    return null;
  }

  // One node list: its records, the strings written out in it and the number of records; backgrounds:
  // the elements to be written as drawn with a background picture, with their [width, height, url].
  const newList = () => ({nodes: [], written: new Map(), count: 0, backgrounds: null});

  // The first url() of the element's computed background-image, or null.
  function backgroundPicture(win, el) {
    // (An operation of the window object itself, not of its prototype; in the world the script runs
    // in, a page's script cannot replace it.)
    const style = win.getComputedStyle(el);
    const image = style ? style.backgroundImage : '';
    const m = /url\(\s*(['"]?)(.*?)\1\s*\)/.exec(image || '');
    return m && m[2] !== '' ? m[2] : null;
  }

  // The element of a link without an IMG that shows a background picture: the link, else the first
  // of what lies inside it.
  function linkBackground(doc, link, backgrounds) {
    const win = defaultView.call(doc);
    if (!win || querySelector.call(link, 'img') !== null) return;
    let n = link;
    for (let seen = 0; n && seen < BACKGROUND_SEARCH; seen++) {
      if (nodeType.call(n) === 1 && namespaceURI.call(n) === HTML) {
        const url = backgroundPicture(win, n);
        if (url !== null) {
          const box = getBoundingClientRect.call(n);
          backgrounds.set(n, [Math.round(box.width), Math.round(box.height), url]);
          return;
        }
      }
      const child = firstChild.call(n);
      if (child) { n = child; continue; }
      while (n && n !== link && !nextSibling.call(n)) n = parentNode.call(n);
      n = !n || n === link ? null : nextSibling.call(n);
    }
  }

  // A loop over the sibling and parent links: scripts build trees deeper than the call stack.
  // The records of the nodes under root from first on (first itself and what lies inside it when
  // first is root), in document order, added to the list; their elements go to els. A watch, when
  // given, learns the handles and state of the inputs and images.
  function records(doc, root, first, els, watch, list = newList()) {
    const nodes = list.nodes;
    const written = list.written; // string -> its number
    const str = (text) => {
      const k = written.get(text);
      if (k !== undefined) return k;
      written.set(text, written.size);
      return text;
    };
    const parents = [-1];
    let count = list.count;
    let n = first;
    while (n) {
      const type = nodeType.call(n);
      let me = -1;
      if (type === 1) {
        const parent = parents[parents.length - 1];
        const names = getAttributeNames.call(n);
        const ln = localName.call(n);
        let kind = 6;
        const background = list.backgrounds ? list.backgrounds.get(n) : undefined;
        if (namespaceURI.call(n) === HTML) {
          kind = ln === 'img' ? 3 : ln === 'a' || ln === 'area' ? 4 : ln === 'input' ? 5 : 2;
          if (background && (kind === 2 || kind === 4)) kind += kind === 2 ? 6 : 3;
          nodes.push(parent, kind, str(ln), names.length);
        } else {
          nodes.push(parent, 6, str(ln), str(tagName.call(n)), names.length);
        }
        for (let i = 0; i < names.length; i++) {
          const name = names[i];
          let value = getAttribute.call(n, name);
          // (null for a name the lookup does not find as written: one set with setAttributeNS)
          if (value === null) value = attributes.call(n)[i].value;
          nodes.push(str(name), str(value));
        }
        const h = els.length;
        if (kind === 3) {
          const [width, height, src] = imageRecord(n, doc);
          nodes.push(width, height, str(src));
          if (watch) {
            watch.images.push(h);
            watch.widths[h] = width;
            watch.heights[h] = height;
            watch.srcs[h] = src;
          }
        } else if (kind === 4 || kind === 7) {
          nodes.push(str(n.href));
        } else if (kind === 5) {
          const checked = n.checked, value = n.value;
          nodes.push(checked ? 1 : 0, str(value));
          if (watch) {
            watch.inputs.push(h);
            watch.checked[h] = checked;
            watch.values[h] = value;
          }
        }
        if (kind === 7 || kind === 8) nodes.push(background[0], background[1], str(background[2]));
        if (keepHandles) els.push(n);
        me = count++;
      } else if (type === 3 || type === 4) {
        nodes.push(parents[parents.length - 1], 0, str(charData.call(n)));
        count++;
      } else if (type === 8) {
        nodes.push(parents[parents.length - 1], 1, str(charData.call(n)));
        count++;
      }
      const child = me >= 0 ? firstChild.call(n) : null;
      if (child) {
        parents.push(me);
        n = child;
        continue;
      }
      if (n === root) break;
      let next = nextSibling.call(n);
      while (!next) {
        n = parentNode.call(n);
        parents.pop();
        if (!n || n === root) break;
        next = nextSibling.call(n);
      }
      n = next;
    }
    list.count = count;
    return nodes;
  }

  const isHtmlElement = (n, names) => namespaceURI.call(n) === HTML && names.includes(localName.call(n));

  // The records of what a harvest reads (the links option).
  function linkRecords(doc, els) {
    const tops = [];
    let last = null;
    const list = newList();
    list.backgrounds = new Map();
    // The page's referrer policy comes with the links: its meta elements that name one.
    const pictures = FULL_PICTURES.map((name) => 'img[' + name + ']').join(', ');
    for (const a of querySelectorAll.call(doc, 'a[href], area[href], meta[name], ' + pictures)) {
      if (last && contains.call(last, a)) continue;
      if (isHtmlElement(a, ['meta'])) {
        if (String(getAttribute.call(a, 'name')).toLowerCase() === 'referrer') tops.push(a);
        continue;
      }
      if (isHtmlElement(a, ['img'])) {
        tops.push(a); // a picture without a link that names its full picture
        continue;
      }
      if (!isHtmlElement(a, ['a', 'area'])) continue;
      tops.push(a);
      last = a;
      linkBackground(doc, a, list.backgrounds);
    }
    const title = getElementsByTagNameNS.call(doc, HTML, 'title')[0];
    if (title && !tops.some((t) => contains.call(t, title))) {
      let at = 0;
      while (at < tops.length && (compareDocumentPosition.call(title, tops[at]) & 2)) at++; // tops[at] precedes it
      tops.splice(at, 0, title);
    }
    for (const top of tops) records(doc, top, top, els, null, list);
    return list.nodes;
  }

  function serialize(doc, depth) {
    const els = [];
    const watch = options.watch && !options.links && keepHandles && depth === 0 ? newWatch(doc) : null;
    const nodes = options.links ? linkRecords(doc, els) : records(doc, doc, firstChild.call(doc), els, watch);
    const id = keepHandles ? P.add(els) : 0;
    ids.push(id);
    const frames = [];
    const win = defaultView.call(doc);
    const length = win ? win.frames.length : 0;
    for (let i = 0; i < length; i++) {
      let sub;
      try {
        sub = win.frames[i].document;
      } catch (e) {
        const error = String((e && e.message) || e);
        const owner = slots && depth + 1 < MAX_DEPTH ? frameOwner(doc, win.frames[i]) : null;
        if (owner) {
          frames.push({slot: slots.length, error: error});
          slots.push(owner);
        } else {
          frames.push({error: error});
        }
        continue;
      }
      if (!sub) frames.push({error: 'the frame has no document'});
      else if (depth + 1 >= MAX_DEPTH) frames.push({error: 'the frames are nested too deeply'});
      else frames.push(serialize(sub, depth + 1));
    }
    // A page with frames is read afresh each time: their documents change unseen.
    if (watch && frames.length === 0) {
      P.unwatch();
      watch.id = id;
      observe.call(watch.observer, doc, {subtree: true, childList: true, attributes: true, characterData: true});
      P.watch = watch;
    }
    return {
      v: 2,
      id: id,
      url: docURL.call(doc),
      title: docTitle.call(doc),
      base: baseURI.call(doc),
      nodes: nodes,
      frames: frames,
    };
  }

  const finish = () => {
    const result = serialize(document, 0);
    if (slots) globalThis.__pxtSlots = slots;
    if (keepHandles) P.endCall(ids);
    return JSON.stringify(result);
  };
  if (!options.loadLazy) return finish();
  return loadLazyImages(options.lazyWaitMs === undefined ? 3000 : options.lazyWaitMs).then(finish);
})
