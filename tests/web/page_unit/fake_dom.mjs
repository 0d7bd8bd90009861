// Just enough of a DOM for the page's list code under node: elements with
// children, text nodes, fragments, attributes, dataset, focus. Moving a node
// that holds the focus drops the focus, as browsers do. Counts every text
// write, so a test can tell what a refresh touched.

class Node {
  constructor(document) {
    this.ownerDocument = document;
    this.parentNode = null;
    this.childNodes = [];
  }

  get firstChild() { return this.childNodes[0] ?? null; }
  get lastChild() { return this.childNodes.at(-1) ?? null; }
  get children() { return this.childNodes.filter((n) => n instanceof Element); }
  get firstElementChild() { return this.children[0] ?? null; }

  sibling(step) {
    const list = this.parentNode ? this.parentNode.children : [];
    return list[list.indexOf(this) + step] ?? null;
  }

  get nextElementSibling() { return this.sibling(1); }
  get previousElementSibling() { return this.sibling(-1); }
  get isConnected() { return this.ownerDocument.body.contains(this); }

  contains(node) {
    for (let n = node; n; n = n.parentNode) if (n === this) return true;
    return false;
  }

  remove() {
    if (!this.parentNode) return;
    if (this.contains(this.ownerDocument.activeElement)) this.ownerDocument.activeElement = this.ownerDocument.body;
    const siblings = this.parentNode.childNodes;
    siblings.splice(siblings.indexOf(this), 1);
    this.parentNode = null;
  }

  insertBefore(node, reference) {
    const nodes = node instanceof Fragment ? [...node.childNodes] : [node];
    for (const n of nodes) {
      n.remove();
      const at = reference ? this.childNodes.indexOf(reference) : this.childNodes.length;
      this.childNodes.splice(at < 0 ? this.childNodes.length : at, 0, n);
      n.parentNode = this;
    }
    return node;
  }

  append(...nodes) {
    for (const n of nodes) this.insertBefore(n, null);
  }
}

class Text extends Node {
  constructor(document, data) {
    super(document);
    this.value = String(data);
  }

  get data() { return this.value; }

  set data(value) {
    this.ownerDocument.textWrites += 1;
    this.value = String(value);
  }

  get textContent() { return this.value; }
  cloneNode() { return new Text(this.ownerDocument, this.value); }
}

class Fragment extends Node {}

class Element extends Node {
  constructor(document, tag) {
    super(document);
    this.tagName = tag.toUpperCase();
    this.attributes = new Map();
    this.dataset = {};
    this.style = {};
    this.className = '';
    this.hidden = false;
    this.title = '';
    this.type = '';
  }

  get cells() { return this.children.filter((n) => n.tagName === 'TD'); }
  get textContent() { return this.childNodes.map((n) => n.textContent).join(''); }
  setAttribute(name, value) { this.attributes.set(name, String(value)); }
  getAttribute(name) { return this.attributes.get(name) ?? null; }

  focus() {
    this.ownerDocument.activeElement = this;
  }

  // Only the form the list code uses: button[data-action="NAME"].
  querySelector(selector) {
    const action = /^button\[data-action="([^"]+)"\]$/.exec(selector)?.[1];
    const walk = (n) => {
      for (const c of n.children) {
        if (c.tagName === 'BUTTON' && c.dataset.action === action) return c;
        const found = walk(c);
        if (found) return found;
      }
      return null;
    };
    return walk(this);
  }

  cloneNode(deep) {
    const copy = new Element(this.ownerDocument, this.tagName);
    for (const key of ['className', 'hidden', 'title', 'type']) copy[key] = this[key];
    copy.attributes = new Map(this.attributes);
    copy.dataset = { ...this.dataset };
    copy.style = { ...this.style };
    if (deep) copy.append(...this.childNodes.map((n) => n.cloneNode(true)));
    return copy;
  }
}

export class Document {
  constructor() {
    this.textWrites = 0;
    this.body = new Element(this, 'body');
    this.activeElement = this.body;
  }

  createElement(tag) { return new Element(this, tag); }
  createTextNode(data) { return new Text(this, data); }
  createDocumentFragment() { return new Fragment(this); }
}

// A fresh document as the global one, and a <tbody> in its body.
export function installDocument() {
  const document = new Document();
  globalThis.document = document;
  const tbody = document.createElement('tbody');
  document.body.append(tbody);
  return { document, tbody };
}
