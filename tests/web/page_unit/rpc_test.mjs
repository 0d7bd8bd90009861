// The RPC client against a scripted fetch: the session-id handshake, the
// headers every request carries, and each failure in words.

import assert from 'node:assert/strict';
import { test } from 'node:test';

import { LOST_CONNECTION, Rpc, RPC_PATH, WRONG_CREDENTIALS } from '../../../host/web/page/rpc.js';

// fetch() answering from `answers` in turn ({status, body, headers} or an
// Error to throw); the requests it saw go to `sent`.
function script(answers) {
  const sent = [];
  globalThis.fetch = async (url, init) => {
    sent.push({ url, ...init, body: JSON.parse(init.body) });
    const a = answers.shift();
    if (a instanceof Error) throw a;
    const headers = new Map(Object.entries(a.headers || {}).map(([k, v]) => [k.toLowerCase(), v]));
    return {
      status: a.status,
      headers: { get: (name) => headers.get(name.toLowerCase()) ?? null },
      text: async () => (typeof a.body === 'string' ? a.body : JSON.stringify(a.body)),
    };
  };
  return sent;
}

const ok = (args = {}) => ({ status: 200, body: { result: 'success', arguments: args } });

test('a 409 hands out the session id, which every later request carries', async () => {
  const sent = script([{ status: 409, headers: { 'X-Transmission-Session-Id': 'abc' }, body: '' }, ok({ n: 1 }), ok()]);
  const rpc = new Rpc();
  rpc.setCredentials('üser', 'pa:ss');
  assert.deepEqual(await rpc.call('session-get', { fields: ['version'] }), { n: 1 });
  await rpc.call('session-stats');
  assert.equal(sent.length, 3);
  const [first, second, third] = sent;
  assert.equal(first.url, RPC_PATH);
  assert.equal(first.headers['X-Transmission-Session-Id'], undefined);
  assert.equal(second.headers['X-Transmission-Session-Id'], 'abc');
  assert.equal(third.headers['X-Transmission-Session-Id'], 'abc');
  for (const r of sent) {
    assert.equal(r.method, 'POST');
    assert.equal(r.headers['X-Requested-With'], 'XMLHttpRequest');
    assert.equal(r.headers.Authorization, `Basic ${Buffer.from('üser:pa:ss', 'utf8').toString('base64')}`);
    assert.equal(r.mode, 'same-origin');
  }
  assert.deepEqual(second.body.arguments, { fields: ['version'] });
  assert.equal(second.body.method, 'session-get');
});

test('failures come back as kinds with words', async () => {
  const rows = [
    [new TypeError('Failed to fetch'), 'connection', LOST_CONNECTION],
    [{ status: 401, body: '<h1>401</h1><p>Unauthorized</p>' }, 'auth', WRONG_CREDENTIALS],
    [{ status: 403, body: '<h1>403</h1><p>Too many wrong passwords: try again later</p>' }, 'locked',
      'Locked out: Too many wrong passwords: try again later'],
    [{ status: 403, body: '<h1>403</h1><p>forbidden: another origin</p>' }, 'refused', 'Forbidden: another origin'],
    [{ status: 413, body: '' }, 'http', 'The daemon refused the request (HTTP 413)'],
    [{ status: 200, body: 'not json' }, 'protocol', 'The daemon\'s answer was not understood'],
    [{ status: 200, body: { result: 'invalid or corrupt torrent file', arguments: {} } }, 'result',
      'Invalid or corrupt torrent file'],
    [{ status: 409, body: '' }, 'protocol', 'The daemon answered 409 without a session id'],
  ];
  for (const [answer, kind, message] of rows) {
    script([answer]);
    const rpc = new Rpc();
    rpc.setCredentials('u', 'p');
    await assert.rejects(rpc.call('torrent-add', {}), (e) => e.kind === kind && e.message === message, message);
  }
});

test('a 401 without credentials asks for them rather than calling them wrong', async () => {
  script([{ status: 401, body: '' }]);
  await assert.rejects(new Rpc().call('session-get'), (e) => e.kind === 'auth' && e.message !== WRONG_CREDENTIALS);
});
