// The task list: one <tr class="task"> a task, kept in a Map by id and
// updated in place. A refresh costs what changed: a cell is written only when
// its text differs, a row moves only when its sort key changed (a binary
// search in the kept order), and the filter is tested again only on rows whose
// name changed. Names come from seeds and are set as text, never as markup.

import {
  formatEta, formatPercent, formatRate, formatSize, percentValue, statusKind, statusText,
} from './format.js';

// What torrent-get is asked for the list (the daemon's cheap fields only).
export const LIST_FIELDS = Object.freeze([
  'id', 'hashString', 'name', 'sizeWhenDone', 'percentDone', 'status', 'error', 'errorString',
  'rateDownload', 'rateUpload', 'eta', 'peersConnected', 'addedDate', 'metadataPercentComplete',
]);

export const ACTIONS = Object.freeze([
  ['start', 'Start'],
  ['stop', 'Stop'],
  ['verify', 'Verify'],
  ['remove', 'Remove'],
  ['remove-data', 'Remove with data'],
  ['details', 'Details'],
]);

const TEXT_CELLS = ['size', 'pct', 'status', 'down', 'up', 'eta', 'peers'];
const CELL_LABELS = { size: 'Size', status: 'Status', down: 'Down', up: 'Up', eta: 'ETA', peers: 'Peers' };
// Above this share of rows to place, one sort of everything beats one binary
// search a row.
const RESORT_SHARE = 0.25;

const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });

// Each order: the key a row is sorted by, and how two keys compare
// (ties go by id, so the order is total and stable across refreshes).
const ORDERS = {
  name: { key: (t) => t.name ?? '', compare: (a, b) => collator.compare(a, b), ties: 1 },
  progress: { key: (t) => t.percentDone ?? 0, compare: (a, b) => a - b, ties: 1 },
  // Newest first; of tasks added in the same second, the later id first.
  added: { key: (t) => t.addedDate ?? 0, compare: (a, b) => b - a, ties: -1 },
};

function textCell(tr, cls, label) {
  const td = document.createElement('td');
  td.className = cls;
  if (label) td.dataset.label = label;
  td.append(document.createTextNode(''));
  tr.append(td);
  return td;
}

// The row every task's row is cloned from.
function rowTemplate() {
  const tr = document.createElement('tr');
  tr.className = 'task';
  textCell(tr, 'name');
  textCell(tr, 'size', CELL_LABELS.size);
  const progress = document.createElement('td');
  progress.className = 'progress';
  const bar = document.createElement('div');
  bar.className = 'bar';
  bar.setAttribute('role', 'progressbar');
  bar.setAttribute('aria-valuemin', '0');
  bar.setAttribute('aria-valuemax', '100');
  bar.setAttribute('aria-valuenow', '0');
  const fill = document.createElement('div');
  fill.className = 'fill';
  bar.append(fill);
  const pct = document.createElement('span');
  pct.className = 'pct';
  pct.append(document.createTextNode(''));
  progress.append(bar, pct);
  tr.append(progress);
  for (const cls of ['status', 'down', 'up', 'eta', 'peers']) textCell(tr, cls, CELL_LABELS[cls]);
  const actions = document.createElement('td');
  actions.className = 'actions';
  for (const [action, label] of ACTIONS) {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = `icon ${action}`;
    button.dataset.action = action;
    button.setAttribute('aria-label', label);
    button.title = label;
    actions.append(button);
  }
  tr.append(actions);
  return tr;
}

export class TaskList {
  // onCount(shown, total): after the rows changed; onFocusLost(): a row that
  // held the focus went, and no row was left to take it.
  constructor(tbody, { onCount, onFocusLost } = {}) {
    this.tbody = tbody;
    this.template = rowTemplate();
    this.rows = new Map();
    this.order = [];
    this.orderName = 'name';
    this.reversed = false;
    this.filter = '';
    this.shown = 0;
    this.onCount = onCount || (() => {});
    this.onFocusLost = onFocusLost || (() => {});
  }

  get size() {
    return this.rows.size;
  }

  task(id) {
    return this.rows.get(id)?.data;
  }

  // Applies a torrent-get answer. `full`: the answer lists every task, so a
  // row it does not name is gone.
  update(torrents, removed = [], full = false) {
    const seen = full ? new Set() : null;
    const placed = [];
    const moved = [];
    for (const t of torrents) {
      if (!t || !Number.isSafeInteger(t.id)) continue;
      if (seen) seen.add(t.id);
      let entry = this.rows.get(t.id);
      if (!entry) {
        entry = this.create(t);
        placed.push(entry);
        continue;
      }
      const key = entry.key;
      this.render(entry, t);
      if (this.compareKeys(key, entry.key) !== 0) moved.push(entry);
    }
    const gone = new Set(removed.filter((id) => this.rows.has(id)));
    if (seen) for (const id of this.rows.keys()) if (!seen.has(id)) gone.add(id);
    for (const id of gone) this.drop(id);
    if (gone.size) this.order = this.order.filter((e) => !gone.has(e.id));
    this.place(placed, moved);
    this.onCount(this.shown, this.rows.size);
  }

  remove(id) {
    if (!this.rows.has(id)) return;
    const entry = this.rows.get(id);
    this.drop(id);
    const at = this.order.indexOf(entry);
    if (at >= 0) this.order.splice(at, 1);
    this.onCount(this.shown, this.rows.size);
  }

  setOrder(name, reversed = this.reversed) {
    if (!ORDERS[name] || (name === this.orderName && reversed === this.reversed)) return;
    this.orderName = name;
    this.reversed = reversed;
    for (const entry of this.rows.values()) entry.key = ORDERS[name].key(entry.data);
    this.place([], [...this.rows.values()]);
  }

  setFilter(text) {
    const filter = text.trim().toLowerCase();
    if (filter === this.filter) return;
    this.filter = filter;
    for (const entry of this.rows.values()) this.applyFilter(entry);
    this.onCount(this.shown, this.rows.size);
  }

  create(t) {
    const row = this.template.cloneNode(true);
    row.dataset.id = String(t.id);
    const cells = row.cells;
    const bar = cells[2].firstChild;
    const entry = {
      id: t.id,
      row,
      bar,
      fill: bar.firstChild,
      nameNode: cells[0].firstChild,
      nodes: {
        size: cells[1].firstChild,
        pct: cells[2].lastChild.firstChild,
        status: cells[3].firstChild,
        down: cells[4].firstChild,
        up: cells[5].firstChild,
        eta: cells[6].firstChild,
        peers: cells[7].firstChild,
      },
      text: {},
      data: {},
      name: null,
      lowerName: '',
      hash: null,
      kind: null,
      value: null,
      hidden: false,
      key: null,
    };
    this.render(entry, t);
    this.rows.set(t.id, entry);
    this.shown += 1;
    this.applyFilter(entry);
    return entry;
  }

  drop(id) {
    const entry = this.rows.get(id);
    if (!entry) return;
    if (!entry.hidden) this.shown -= 1;
    const focused = entry.row.contains(document.activeElement) ? document.activeElement : null;
    const neighbour = focused ? this.visibleNeighbour(entry.row) : null;
    entry.row.remove();
    this.rows.delete(id);
    if (!focused) return;
    // The same button of the next row (or the one before) takes the focus.
    const next = neighbour?.querySelector(`button[data-action="${focused.dataset.action}"]`);
    if (next) next.focus({ preventScroll: true });
    else this.onFocusLost();
  }

  visibleNeighbour(row) {
    for (const step of ['nextElementSibling', 'previousElementSibling']) {
      for (let r = row[step]; r; r = r[step]) if (!r.hidden) return r;
    }
    return null;
  }

  // Writes only what differs from what the row shows.
  render(entry, t) {
    Object.assign(entry.data, t);
    const d = entry.data;
    const name = String(d.name ?? '');
    if (name !== entry.name) {
      entry.name = name;
      entry.lowerName = name.toLowerCase();
      entry.nameNode.data = name;
      entry.row.cells[0].title = name;
      entry.bar.setAttribute('aria-label', `Progress of ${name}`);
      if (entry.key !== null) this.applyFilter(entry);
    }
    const hash = String(d.hashString ?? '');
    if (hash !== entry.hash) {
      entry.hash = hash;
      entry.row.dataset.hash = hash;
    }
    const value = percentValue(d.percentDone);
    if (value !== entry.value) {
      entry.value = value;
      entry.bar.setAttribute('aria-valuenow', String(value));
      entry.fill.style.width = `${value}%`;
    }
    const kind = statusKind(d);
    if (kind !== entry.kind) {
      entry.kind = kind;
      entry.row.dataset.state = kind;
    }
    const texts = {
      size: d.metadataPercentComplete < 1 && !d.sizeWhenDone ? '' : formatSize(d.sizeWhenDone ?? 0),
      pct: formatPercent(d.percentDone),
      status: statusText(d),
      down: formatRate(d.rateDownload),
      up: formatRate(d.rateUpload),
      eta: formatEta(d),
      peers: d.peersConnected ? String(d.peersConnected) : '',
    };
    for (const cell of TEXT_CELLS) {
      if (entry.text[cell] !== texts[cell]) {
        entry.text[cell] = texts[cell];
        entry.nodes[cell].data = texts[cell];
        // A long failure reason is cut to the column: whole on hover and in Details.
        if (cell === 'status') entry.nodes.status.parentNode.title = texts.status;
      }
    }
    entry.key = ORDERS[this.orderName].key(d);
  }

  applyFilter(entry) {
    const hidden = this.filter !== '' && !entry.lowerName.includes(this.filter);
    if (hidden === entry.hidden) return;
    entry.hidden = hidden;
    entry.row.hidden = hidden;
    this.shown += hidden ? -1 : 1;
  }

  compareKeys(a, b) {
    if (a === b) return 0;
    if (a === null || b === null) return 1;
    return ORDERS[this.orderName].compare(a, b);
  }

  compare(a, b) {
    const byKey = this.compareKeys(a.key, b.key) || ORDERS[this.orderName].ties * (a.id - b.id);
    return this.reversed ? -byKey : byKey;
  }

  // Puts new rows and rows whose key changed where the order wants them.
  place(created, moved) {
    if (!created.length && !moved.length) return;
    const focused = this.tbody.contains(document.activeElement) ? document.activeElement : null;
    if (created.length + moved.length > this.order.length * RESORT_SHARE) {
      this.order = [...this.rows.values()].sort((a, b) => this.compare(a, b));
      this.reorderAll();
    } else {
      if (moved.length) {
        const moving = new Set(moved);
        this.order = this.order.filter((e) => !moving.has(e));
      }
      for (const entry of [...moved, ...created]) this.insert(entry);
    }
    if (focused && focused.isConnected && document.activeElement !== focused) focused.focus({ preventScroll: true });
  }

  insert(entry) {
    let low = 0;
    let high = this.order.length;
    while (low < high) {
      const mid = (low + high) >> 1;
      if (this.compare(this.order[mid], entry) < 0) low = mid + 1;
      else high = mid;
    }
    this.order.splice(low, 0, entry);
    const next = this.order[low + 1];
    this.tbody.insertBefore(entry.row, next ? next.row : null);
  }

  // Brings the DOM into this.order, moving only rows out of place.
  reorderAll() {
    if (!this.tbody.firstChild) {
      const fragment = document.createDocumentFragment();
      for (const entry of this.order) fragment.append(entry.row);
      this.tbody.append(fragment);
      return;
    }
    let at = this.tbody.firstElementChild;
    for (const entry of this.order) {
      if (at === entry.row) {
        at = at.nextElementSibling;
      } else {
        this.tbody.insertBefore(entry.row, at);
      }
    }
  }
}
