// One task's details: facts, per-task limits, its files (wanted or not),
// trackers and peers. Refreshed with the list while open; rows are kept by
// key and written only where their text changed, so a checkbox keeps its
// focus across refreshes. Every name, URL and message is set as text.

import {
  formatDate, formatPercent, formatRate, formatRatio, formatSize, statusText,
} from './format.js';
import { LimitPair } from './limits.js';

export const DETAIL_FIELDS = Object.freeze([
  'id', 'name', 'hashString', 'status', 'error', 'errorString', 'percentDone', 'sizeWhenDone', 'totalSize',
  'haveValid', 'downloadedEver', 'uploadedEver', 'uploadRatio', 'downloadDir', 'addedDate', 'doneDate',
  'comment', 'creator', 'isPrivate', 'pieceCount', 'pieceSize', 'metadataPercentComplete', 'magnetLink',
  'downloadLimit', 'downloadLimited', 'uploadLimit', 'uploadLimited', 'files', 'fileStats', 'trackerStats',
  'peers',
]);

function setText(node, text) {
  if (node.textContent !== text) node.textContent = text;
}

function cells(tr, classes) {
  const out = {};
  for (const cls of classes) {
    const td = document.createElement('td');
    td.className = cls;
    tr.append(td);
    out[cls] = td;
  }
  return out;
}

// Rows of `container` kept by key: make(item) builds one (returning its
// element and parts), fill(parts, item) writes it; rows whose key is gone go.
class KeyedRows {
  constructor(container, make, fill) {
    this.container = container;
    this.make = make;
    this.fill = fill;
    this.rows = new Map();
  }

  show(items, keyOf) {
    const seen = new Set();
    let previous = null;
    for (const item of items) {
      const key = keyOf(item);
      seen.add(key);
      let row = this.rows.get(key);
      if (!row) {
        row = this.make(item);
        this.rows.set(key, row);
      }
      this.fill(row, item);
      const wanted = previous ? previous.element.nextSibling : this.container.firstChild;
      if (wanted !== row.element) this.container.insertBefore(row.element, wanted);
      previous = row;
    }
    for (const [key, row] of this.rows) {
      if (!seen.has(key)) {
        row.element.remove();
        this.rows.delete(key);
      }
    }
  }

  clear() {
    this.container.replaceChildren();
    this.rows.clear();
  }
}

// The tracker's last answer to an announce, as the daemon words it.
function trackerResult(t) {
  if (!t.hasAnnounced && !t.lastAnnounceResult) return 'not announced yet';
  const when = formatDate(t.lastAnnounceTime);
  const result = t.lastAnnounceResult || (t.lastAnnounceSucceeded ? 'Success' : 'no answer');
  const peers = t.lastAnnounceSucceeded ? `, ${t.lastAnnouncePeerCount ?? 0} peers` : '';
  return `${result}${peers}${when ? ` (${when})` : ''}`;
}

export class DetailPanel {
  // rpc: an Rpc; messages: Messages; onClose(id): after the panel closed.
  constructor({ rpc, messages, onClose }) {
    this.rpc = rpc;
    this.messages = messages;
    this.onClose = onClose;
    this.id = null;
    this.section = document.getElementById('detail');
    this.heading = document.getElementById('detail-name');
    this.facts = {};
    for (const dd of this.section.querySelectorAll('[data-fact]')) this.facts[dd.dataset.fact] = dd;
    this.limits = new LimitPair({
      form: document.getElementById('task-limits'),
      down: document.getElementById('task-limit-down'),
      up: document.getElementById('task-limit-up'),
      keys: { down: 'downloadLimit', downOn: 'downloadLimited', up: 'uploadLimit', upOn: 'uploadLimited' },
      messages,
      send: (args) => rpc.call('torrent-set', { ids: [this.id], ...args }),
      refresh: () => this.refresh(),
      applied: 'Task limits applied',
    });
    this.pending = new Map();

    const filesBody = this.section.querySelector('table.files tbody');
    this.noFiles = this.section.querySelector('.no-files');
    this.files = new KeyedRows(filesBody, () => this.makeFile(), (row, item) => this.fillFile(row, item));
    this.trackers = new KeyedRows(this.section.querySelector('ul.trackers'), () => {
      const li = document.createElement('li');
      li.className = 'tracker';
      const url = document.createElement('span');
      url.className = 'announce';
      const result = document.createElement('span');
      result.className = 'result';
      li.append(url, result);
      return { element: li, url, result };
    }, (row, t) => {
      setText(row.url, t.announce ?? '');
      setText(row.result, trackerResult(t));
      row.element.classList.toggle('failing', Boolean(t.hasAnnounced && !t.lastAnnounceSucceeded));
    });
    this.noTrackers = this.section.querySelector('.no-trackers');
    this.peers = new KeyedRows(this.section.querySelector('table.peers tbody'), () => {
      const tr = document.createElement('tr');
      tr.className = 'peer';
      return { element: tr, ...cells(tr, ['address', 'client', 'progress', 'down', 'up']) };
    }, (row, p) => {
      setText(row.address, p.port ? `${p.address}:${p.port}` : String(p.address ?? ''));
      setText(row.client, p.clientName ?? '');
      setText(row.progress, formatPercent(p.progress));
      setText(row.down, formatRate(p.rateToClient));
      setText(row.up, formatRate(p.rateToPeer));
    });
    this.noPeers = this.section.querySelector('.no-peers');

    filesBody.addEventListener('change', (event) => {
      const box = event.target;
      if (!(box instanceof HTMLInputElement)) return;
      const tr = box.closest('tr.file');
      if (tr) this.setWanted(Number(tr.dataset.index), box);
    });
    document.getElementById('close-detail').addEventListener('click', () => this.close());
  }

  get open() {
    return this.id !== null;
  }

  show(id, name, opener) {
    if (this.id !== id) {
      this.files.clear();
      this.trackers.clear();
      this.peers.clear();
      this.pending.clear();
      for (const dd of Object.values(this.facts)) dd.textContent = '';
      this.limits.reset();
    }
    this.id = id;
    this.opener = opener;
    setText(this.heading, name);
    this.section.hidden = false;
    document.body.classList.add('detail-open');
    this.heading.focus();
    return this.refresh();
  }

  close() {
    if (!this.open) return;
    const id = this.id;
    this.id = null;
    this.section.hidden = true;
    document.body.classList.remove('detail-open');
    if (this.opener && this.opener.isConnected) this.opener.focus();
    this.onClose?.(id);
  }

  async refresh() {
    if (!this.open) return;
    const id = this.id;
    const answer = await this.rpc.call('torrent-get', { ids: [id], fields: DETAIL_FIELDS });
    if (this.id !== id) return;
    const t = (answer.torrents || []).find((x) => x.id === id);
    if (!t) {
      this.close();
      return;
    }
    this.render(t);
  }

  render(t) {
    setText(this.heading, t.name ?? '');
    const fact = (key, text) => {
      if (this.facts[key]) setText(this.facts[key], text);
    };
    fact('status', statusText(t));
    fact('progress', `${formatPercent(t.percentDone)} of ${formatSize(t.sizeWhenDone ?? 0)}`);
    fact('size', t.metadataPercentComplete < 1 ? 'not known yet' : formatSize(t.totalSize ?? 0));
    fact('downloaded', formatSize(t.downloadedEver ?? 0));
    fact('uploaded', `${formatSize(t.uploadedEver ?? 0)} (ratio ${formatRatio(t.uploadRatio) || '–'})`);
    fact('folder', t.downloadDir ?? '');
    fact('hash', t.hashString ?? '');
    fact('added', formatDate(t.addedDate));
    fact('done', formatDate(t.doneDate) || '–');
    fact('pieces', t.pieceCount ? `${t.pieceCount} × ${formatSize(t.pieceSize ?? 0)}` : '–');
    fact('comment', t.comment || '–');
    fact('creator', t.creator || '–');
    fact('private', t.isPrivate ? 'yes' : 'no');
    fact('magnet', t.magnetLink ?? '');
    this.limits.show(t);

    const files = (t.files || []).map((f, index) => ({ ...f, index, stats: (t.fileStats || [])[index] || {} }));
    this.files.show(files, (f) => f.index);
    this.showIfAny(this.files, this.noFiles, files.length);
    const trackers = t.trackerStats || [];
    this.trackers.show(trackers, (x) => `${x.id}|${x.announce}`);
    this.showIfAny(this.trackers, this.noTrackers, trackers.length);
    const peers = t.peers || [];
    this.peers.show(peers, (p) => `${p.address}|${p.port}`);
    this.showIfAny(this.peers, this.noPeers, peers.length);
  }

  // A list with items, or the words saying it has none.
  showIfAny(rows, none, count) {
    const box = rows.container.closest('.scroll') || rows.container;
    box.hidden = count === 0;
    none.hidden = count > 0;
  }

  makeFile() {
    const tr = document.createElement('tr');
    tr.className = 'file';
    const parts = cells(tr, ['name', 'wanted', 'progress', 'size']);
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.setAttribute('aria-label', 'Wanted');
    parts.wanted.append(box);
    return { element: tr, box, ...parts };
  }

  fillFile(row, f) {
    row.element.dataset.index = String(f.index);
    setText(row.name, f.name ?? '');
    const wanted = this.pending.has(f.index) ? this.pending.get(f.index) : f.stats.wanted !== false;
    if (row.box.checked !== wanted) row.box.checked = wanted;
    setText(row.progress, f.length ? formatPercent((f.bytesCompleted ?? 0) / f.length) : formatPercent(1));
    setText(row.size, formatSize(f.length ?? 0));
  }

  async setWanted(index, box) {
    const id = this.id;
    const wanted = box.checked;
    this.pending.set(index, wanted);
    try {
      await this.rpc.call('torrent-set', { ids: [id], [wanted ? 'files-wanted' : 'files-unwanted']: [index] });
      this.messages.clear();
    } catch (error) {
      if (this.id === id) box.checked = !wanted;
      this.messages.error(error.message);
    } finally {
      if (this.pending.get(index) === wanted) this.pending.delete(index);
    }
  }
}
