// The session: the daemon's version, the global speed limits (KiB/s, empty
// for none) and the totals of session-stats.

import { formatRate, formatSize } from './format.js';
import { LimitPair } from './limits.js';

export class SessionPanel {
  constructor({ rpc, messages }) {
    this.version = document.getElementById('version');
    this.totals = document.getElementById('totals');
    this.limits = new LimitPair({
      form: document.getElementById('limits'),
      down: document.getElementById('limit-down'),
      up: document.getElementById('limit-up'),
      keys: {
        down: 'speed-limit-down', downOn: 'speed-limit-down-enabled', up: 'speed-limit-up', upOn: 'speed-limit-up-enabled',
      },
      messages,
      send: (args) => rpc.call('session-set', args),
      refresh: async () => this.showSession(await rpc.call('session-get')),
      applied: 'Limits applied',
    });
    this.totalNodes = {};
    for (const key of ['rate-down', 'rate-up', 'run-down', 'run-up', 'all-down', 'all-up', 'count']) {
      this.totalNodes[key] = this.totals.querySelector(`[data-total="${key}"]`);
    }
  }

  showSession(s) {
    const version = String(s.version ?? '');
    this.version.textContent = !version || version.startsWith('btshell') ? version : `btshell ${version}`;
    this.limits.show(s);
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
}
