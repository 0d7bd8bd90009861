// The page's wiring: the parts, the row buttons, the keyboard, and the
// refresh every two seconds. The first list is a full torrent-get; later ones
// ask for "recently-active" tasks only (and drop the `removed` ones), so a
// refresh costs what changed. After a failure the page keeps asking and
// recovers by itself, with a full list, once the daemon answers again.

import { AddForm } from './add_form.js';
import { ConfirmDialog } from './confirm_dialog.js';
import { DetailPanel } from './detail.js';
import { LoginForm } from './login.js';
import { Messages } from './message.js';
import { Rpc } from './rpc.js';
import { SessionPanel } from './session_panel.js';
import { LIST_FIELDS, TaskList } from './task_list.js';

const REFRESH_MS = 2000;
// The whole list is asked again at least this often. The daemon lists a task
// as recently active for 60 s after a change it marks (and while it moves
// data); a change it does not mark (a long check's progress) or a gap in the
// refreshes (a throttled background tab) is caught by this.
const FULL_LIST_EVERY_MS = 30000;
// session-get (version, limits, download folder) every this many refreshes.
const SESSION_EVERY = 15;

const ACTION_METHODS = {
  start: 'torrent-start',
  stop: 'torrent-stop',
  verify: 'torrent-verify',
  remove: 'torrent-remove',
  'remove-data': 'torrent-remove',
};

const rpc = new Rpc();
const messages = new Messages();
const countNode = document.getElementById('count');
const filter = document.getElementById('filter');
const emptyNode = document.getElementById('empty');
const list = new TaskList(document.querySelector('#tasks tbody'), {
  onCount(shown, total) {
    const text = shown === total ? `${total} task${total === 1 ? '' : 's'}` : `${shown} of ${total} tasks shown`;
    if (countNode.textContent !== text) countNode.textContent = text;
    emptyNode.hidden = total > 0;
  },
  onFocusLost: () => filter.focus({ preventScroll: true }),
});
const session = new SessionPanel({ rpc, messages });
const confirmDialog = new ConfirmDialog();
const detail = new DetailPanel({ rpc, messages });

const state = {
  timer: 0,
  running: false,
  again: false,
  needFull: true,
  lastFull: 0,
  listed: false,
  ticks: 0,
  needSession: true,
  waitingForLogin: false,
};

function refreshSoon() {
  if (state.running) {
    state.again = true;
    return;
  }
  clearTimeout(state.timer);
  state.timer = setTimeout(tick, 0);
}

const addForm = new AddForm({ rpc, messages, onAdded: refreshSoon });
const login = new LoginForm({
  rpc,
  onSubmit() {
    state.waitingForLogin = false;
    refreshSoon();
  },
});

async function refreshSession() {
  const s = await rpc.call('session-get');
  session.showSession(s);
  addForm.setDefaultFolder(s['download-dir']);
  state.needSession = false;
}

async function refreshList() {
  const full = state.needFull || performance.now() - state.lastFull > FULL_LIST_EVERY_MS;
  const start = performance.now();
  const args = full ? { fields: LIST_FIELDS } : { fields: LIST_FIELDS, ids: 'recently-active' };
  const answer = await rpc.call('torrent-get', args);
  list.update(answer.torrents || [], answer.removed || [], full);
  performance.measure('list-update', { start });
  if (!state.listed) {
    state.listed = true;
    performance.measure('list-first');
  }
  state.needFull = false;
  if (full) state.lastFull = start;
}

async function refreshStats() {
  session.showStats(await rpc.call('session-stats'));
}

function answered() {
  messages.clear('daemon');
  if (login.shown) login.hide();
}

function failed(error) {
  state.needFull = true;
  state.needSession = true;
  if (error.kind === 'auth') {
    // Wrong credentials are forgotten (sending them again would only count
    // towards a lockout) and the page waits for the form.
    const sent = rpc.hasCredentials();
    rpc.clearCredentials();
    state.waitingForLogin = true;
    if (sent) messages.error(error.message, 'daemon');
    else messages.clear('daemon');
    login.show();
    return;
  }
  // Locked out: the form will be needed once the lockout ends.
  if (error.kind === 'locked' && !rpc.hasCredentials()) login.show();
  messages.error(error.message || String(error), 'daemon');
}

async function tick() {
  if (state.running) {
    state.again = true;
    return;
  }
  if (state.waitingForLogin) return;
  state.running = true;
  clearTimeout(state.timer);
  try {
    if (state.needSession || state.ticks % SESSION_EVERY === 0) await refreshSession();
    await Promise.all([refreshList(), refreshStats(), detail.open ? detail.refresh() : null]);
    answered();
  } catch (error) {
    failed(error);
  } finally {
    state.running = false;
    state.ticks += 1;
    if (!state.waitingForLogin) state.timer = setTimeout(tick, state.again ? 0 : REFRESH_MS);
    state.again = false;
  }
}

async function act(action, id, button) {
  const name = list.task(id)?.name ?? `task ${id}`;
  if (action === 'details') {
    detail.show(id, name, button).catch((error) => messages.error(error.message));
    return;
  }
  const method = ACTION_METHODS[action];
  if (!method) return;
  if (action === 'remove-data' && !(await confirmDialog.ask(name))) return;
  const args = { ids: [id] };
  if (action === 'remove-data') args['delete-local-data'] = true;
  try {
    await rpc.call(method, args);
    messages.clear();
  } catch (error) {
    messages.error(error.message);
  }
  refreshSoon();
}

document.querySelector('#tasks tbody').addEventListener('click', (event) => {
  const button = event.target.closest('button[data-action]');
  const row = button?.closest('tr.task');
  if (row) act(button.dataset.action, Number(row.dataset.id), button);
});

const sortBy = document.getElementById('sort');
const reverse = document.getElementById('reverse');
const applyOrder = () => list.setOrder(sortBy.value, reverse.checked);
sortBy.addEventListener('change', applyOrder);
reverse.addEventListener('change', applyOrder);
filter.addEventListener('input', () => list.setFilter(filter.value));
document.getElementById('filter-form').addEventListener('submit', (event) => event.preventDefault());

document.addEventListener('keydown', (event) => {
  if (event.key !== 'Escape' || confirmDialog.open || event.defaultPrevented) return;
  if (detail.open) {
    event.preventDefault();
    detail.close();
  }
});

// A tab brought back to the front shows the present at once, not after its
// throttled timer.
document.addEventListener('visibilitychange', () => {
  if (!document.hidden) refreshSoon();
});

applyOrder();
tick();
