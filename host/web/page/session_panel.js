// The session: the daemon's version, the global speed limits (KiB/s, empty
// for none) and the totals of session-stats.

import { formatRate, formatSize } from './format.js';

// A limit field's value: null for none (empty or 0), a whole number of KiB/s,
// or undefined when the text is neither.
export function readLimit(text) {
  const t = String(text).trim();
  if (t === '') return null;
  if (!/^\d+$/.test(t)) return undefined;
  const n = Number(t);
  if (!Number.isSafeInteger(n)) return undefined;
  return n === 0 ? null : n;
}

// A limit as the field shows it.
export function limitText(limited, value) {
  return limited && value > 0 ? String(value) : '';
}

// Keeps what the user typed: a field is filled from the daemon only while
// the user has not edited it since it was last applied.
export class LimitField {
  constructor(input) {
    this.input = input;
    this.edited = false;
    input.addEventListener('input', () => {
      this.edited = true;
    });
  }

  show(text) {
    if (!this.edited) this.input.value = text;
  }

  applied() {
    this.edited = false;
  }
}

// Both fields of a pair read, or null (with the reason shown and the bad
// field focused) when one holds something else than a limit.
export function readLimitPair(down, up, messages) {
  const values = { down: readLimit(down.input.value), up: readLimit(up.input.value) };
  if (values.down !== undefined && values.up !== undefined) return values;
  messages.error('A limit is a whole number of KiB/s (empty for none)');
  (values.down === undefined ? down : up).input.focus();
  return null;
}

export class SessionPanel {
  constructor({ rpc, messages }) {
    this.rpc = rpc;
    this.messages = messages;
    this.version = document.getElementById('version');
    this.totals = document.getElementById('totals');
    this.down = new LimitField(document.getElementById('limit-down'));
    this.up = new LimitField(document.getElementById('limit-up'));
    this.apply = document.getElementById('apply-limits');
    document.getElementById('limits').addEventListener('submit', (event) => {
      event.preventDefault();
      this.applyLimits();
    });
    this.totalNodes = {};
    for (const key of ['rate-down', 'rate-up', 'run-down', 'run-up', 'all-down', 'all-up', 'count']) {
      this.totalNodes[key] = this.totals.querySelector(`[data-total="${key}"]`);
    }
  }

  showSession(s) {
    const version = String(s.version ?? '');
    this.version.textContent = !version || version.startsWith('btshell') ? version : `btshell ${version}`;
    this.down.show(limitText(s['speed-limit-down-enabled'], s['speed-limit-down']));
    this.up.show(limitText(s['speed-limit-up-enabled'], s['speed-limit-up']));
  }

  showStats(s) {
    const set = (key, text) => {
      const node = this.totalNodes[key];
      if (node && node.textContent !== text) node.textContent = text;
    };
    this.totals.hidden = false;
    const run = s['current-stats'] || {};
    const all = s['cumulative-stats'] || {};
    set('rate-down', formatRate(s.downloadSpeed) || '0 B/s');
    set('rate-up', formatRate(s.uploadSpeed) || '0 B/s');
    set('run-down', formatSize(run.downloadedBytes ?? 0));
    set('run-up', formatSize(run.uploadedBytes ?? 0));
    set('all-down', formatSize(all.downloadedBytes ?? 0));
    set('all-up', formatSize(all.uploadedBytes ?? 0));
    set('count', `${s.activeTorrentCount ?? 0} of ${s.torrentCount ?? 0} active`);
  }

  async applyLimits() {
    const limits = readLimitPair(this.down, this.up, this.messages);
    if (!limits) return;
    const { down, up } = limits;
    const args = { 'speed-limit-down-enabled': down !== null, 'speed-limit-up-enabled': up !== null };
    if (down !== null) args['speed-limit-down'] = down;
    if (up !== null) args['speed-limit-up'] = up;
    try {
      await this.rpc.call('session-set', args);
      this.down.applied();
      this.up.applied();
      this.messages.clear();
      this.messages.info('Limits applied');
      this.showSession(await this.rpc.call('session-get'));
    } catch (error) {
      this.messages.error(error.message);
    }
  }
}
