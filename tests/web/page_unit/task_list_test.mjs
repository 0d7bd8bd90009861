// The task list under a fake DOM: rows kept and written in place, the DOM
// order always the sort order through random refreshes, the filter, and the
// focus surviving a row's move or removal.

import assert from 'node:assert/strict';
import { beforeEach, test } from 'node:test';

import { installDocument } from './fake_dom.mjs';
import { TaskList } from '../../../host/web/page/task_list.js';

let document;
let tbody;
beforeEach(() => {
  ({ document, tbody } = installDocument());
});

const task = (id, fields = {}) => ({
  id, hashString: `h${id}`, name: `task ${id}`, sizeWhenDone: 1000, percentDone: 0, status: 4, error: 0,
  errorString: '', rateDownload: 0, rateUpload: 0, eta: -1, peersConnected: 0, addedDate: 100 + id,
  metadataPercentComplete: 1, ...fields,
});
const ids = () => tbody.children.map((tr) => Number(tr.dataset.id));
const cell = (tr, cls) => tr.cells.find((td) => td.className === cls).textContent;

test('a refresh writes only what changed, in the same rows; removed and unlisted rows go', () => {
  const list = new TaskList(tbody);
  list.update([task(1), task(2), task(3, { name: '<img src=x onerror=alert(1)>' })], [], true);
  assert.deepEqual(ids(), [3, 1, 2]);
  const rows = tbody.children.slice();
  assert.equal(cell(rows[0], 'name'), '<img src=x onerror=alert(1)>');
  const bar = rows[1].cells[2].firstChild;
  assert.equal(bar.getAttribute('role'), 'progressbar');

  const writes = document.textWrites;
  list.update([task(1, { percentDone: 0.5, rateDownload: 2048 }), task(2)], [], false);
  assert.equal(document.textWrites - writes, 2, 'the percentage and the rate');
  assert.equal(bar.getAttribute('aria-valuenow'), '50');
  assert.equal(cell(rows[1], 'down'), '2.00 KiB/s');
  assert.deepEqual(tbody.children, rows);

  list.update([], [2], false);
  assert.deepEqual(ids(), [3, 1]);
  list.update([task(3)], [], true);
  assert.deepEqual(ids(), [3]);
  assert.equal(list.size, 1);
});

test('through random refreshes the DOM keeps the sort order and the filter', () => {
  let seed = 42;
  const random = () => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed / 2147483648;
  };
  const list = new TaskList(tbody);
  const known = new Map();
  let next = 1;
  for (; next <= 150; next += 1) known.set(next, task(next, { name: `n${Math.floor(random() * 40)}` }));
  list.update([...known.values()], [], true);
  const orders = [['progress', false], ['name', true], ['added', false], ['progress', true], ['name', false]];
  for (let round = 0; round < 60; round += 1) {
    if (round % 12 === 0) list.setOrder(...orders[round / 12]);
    if (round === 30) list.setFilter('N1');
    const changed = [];
    for (const t of known.values()) {
      if (random() < 0.08) {
        Object.assign(t, { percentDone: Math.round(random() * 10) / 10, name: `n${Math.floor(random() * 40)}` });
        changed.push(t);
      }
    }
    const removed = [...known.keys()].filter(() => random() < 0.02);
    for (const id of removed) known.delete(id);
    for (let k = 0; k < 3; k += 1, next += 1) {
      known.set(next, task(next, { name: `n${Math.floor(random() * 40)}` }));
      changed.push(known.get(next));
    }
    if (round % 10 === 9) list.update([...known.values()], [], true);
    else list.update(changed.filter((t) => known.has(t.id)), removed, false);

    const [orderName, reversed] = orders[Math.floor(round / 12)];
    const key = { progress: (t) => t.percentDone, added: (t) => -t.addedDate, name: (t) => t.name }[orderName];
    const tie = orderName === 'added' ? -1 : 1;
    const expected = [...known.values()].sort((a, b) => {
      const ka = key(a);
      const kb = key(b);
      const byKey = typeof ka === 'string' ? ka.localeCompare(kb, undefined, { numeric: true }) : ka - kb;
      return (reversed ? -1 : 1) * (byKey || tie * (a.id - b.id));
    });
    assert.deepEqual(ids(), expected.map((t) => t.id), `round ${round}`);
    const shown = tbody.children.filter((tr) => !tr.hidden).map((tr) => cell(tr, 'name'));
    assert.ok(shown.every((name) => round < 30 || name.includes('n1')), `round ${round}`);
    assert.equal(list.shown, shown.length);
  }
});

test('the focus stays on a button whose row moves, and passes on when its row goes', () => {
  const lost = [];
  const list = new TaskList(tbody, { onFocusLost: () => lost.push(true) });
  list.setOrder('progress');
  list.update([1, 2, 3, 4, 5, 6].map((id) => task(id, { percentDone: id / 10 })), [], true);
  const stop = tbody.children[0].querySelector('button[data-action="stop"]');
  stop.focus();
  list.update([task(1, { percentDone: 0.55 })], [], false);
  assert.deepEqual(ids(), [2, 3, 4, 5, 1, 6]);
  assert.equal(document.activeElement, stop);

  list.remove(1);
  assert.equal(document.activeElement, tbody.children[4].querySelector('button[data-action="stop"]'));
  for (const id of [2, 3, 4, 5]) list.remove(id);
  assert.deepEqual(lost, []);
  list.remove(6);
  assert.deepEqual(lost, [true]);
});
