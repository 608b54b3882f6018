// Pixtrawl page serializer. Evaluated as one expression in the page; its value is ONE STRING, the
// JSON text of the page's document:
//
//   {"v": 2, "id": snapshot id, "url": document.URL, "title": document.title, "base": document.baseURI,
//    "nodes": [...], "frames": [document | {"error": reason}, ...]}
//
// "nodes" is one flat list of node records in document order (pre-order), one after the other:
//   parent, kind, ...        parent: index of the parent's record, -1 for a top-level node
//   kind 0 text:             data
//   kind 1 comment:          data
//   kind 2 HTML element:     localName, n, name1, value1, ... name_n, value_n   (its attributes)
//   kind 3 HTML IMG:         as 2, then width, height, src      (laid out; the resolved address)
//   kind 4 HTML A or AREA:   as 2, then href
//   kind 5 HTML INPUT:       as 2, then checked (0 or 1), value
//   kind 6 other element:    localName, tagName, n, attributes as 2   (SVG, MathML)
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
//   __pxt.drop(id)                  forgets a snapshot
// The elements a write creates get the next handles, in document order.
(() => {
  'use strict';
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

  let P = globalThis.__pxt;
  if (!P || P.v !== 1) {
    P = {
      v: 1,
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
        if (e) e.checked = on;
      },
      html(id, h, text) {
        const e = this.el(id, h);
        if (!e) return;
        setInnerHTML.call(e, text);
        this.adopt(id, e, firstChild.call(e));
      },
      append(id, h, text) {
        const e = this.el(id, h);
        if (!e) return;
        const last = lastChild.call(e);
        insertAdjacentHTML.call(e, 'beforeend', text);
        this.adopt(id, e, last ? nextSibling.call(last) : firstChild.call(e));
      },
      drop(id) {
        this.snaps.delete(id);
        this.calls = this.calls.filter((g) => g.some((i) => this.snaps.has(i)));
      },
    };
    globalThis.__pxt = P;
  }

  const ids = [];

  // A loop over the sibling and parent links: scripts build trees deeper than the call stack.
  function serialize(doc, depth) {
    const nodes = [];
    const els = [];
    const written = new Map(); // string -> its number
    const str = (text) => {
      const k = written.get(text);
      if (k !== undefined) return k;
      written.set(text, written.size);
      return text;
    };
    const parents = [-1];
    let count = 0;
    let n = firstChild.call(doc);
    while (n) {
      const type = nodeType.call(n);
      let me = -1;
      if (type === 1) {
        const parent = parents[parents.length - 1];
        const names = getAttributeNames.call(n);
        const ln = localName.call(n);
        let kind = 6;
        if (namespaceURI.call(n) === HTML) {
          kind = ln === 'img' ? 3 : ln === 'a' || ln === 'area' ? 4 : ln === 'input' ? 5 : 2;
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
        if (kind === 3) nodes.push(n.width, n.height, str(n.src));
        else if (kind === 4) nodes.push(str(n.href));
        else if (kind === 5) nodes.push(n.checked ? 1 : 0, str(n.value));
        els.push(n);
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
      let next = nextSibling.call(n);
      while (!next) {
        n = parentNode.call(n);
        parents.pop();
        if (!n || n === doc) break;
        next = nextSibling.call(n);
      }
      n = next;
    }

    const id = P.add(els);
    ids.push(id);
    const frames = [];
    const win = defaultView.call(doc);
    const length = win ? win.frames.length : 0;
    for (let i = 0; i < length; i++) {
      let sub;
      try {
        sub = win.frames[i].document;
      } catch (e) {
        frames.push({error: String((e && e.message) || e)});
        continue;
      }
      if (!sub) frames.push({error: 'the frame has no document'});
      else if (depth + 1 >= 32) frames.push({error: 'the frames are nested too deeply'});
      else frames.push(serialize(sub, depth + 1));
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

  const result = serialize(document, 0);
  P.endCall(ids);
  return JSON.stringify(result);
})()
