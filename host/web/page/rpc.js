// The daemon's RPC: one POST a call, the session-id handshake (409), Basic
// credentials the page sends itself, and every failure turned into words.
//
// Credentials are kept in this module's memory only (never stored, never put
// in a URL) and go only to the page's own origin: the path is absolute and
// fetch() is told to stay on the same origin.

import { sentence } from './format.js';

export const RPC_PATH = '/transmission/rpc';
const SESSION_HEADER = 'X-Transmission-Session-Id';
// A 409 carries the new id; more than this many in a row is a daemon fault.
const HANDSHAKE_TRIES = 3;
export const DEFAULT_TIMEOUT_MS = 20000;

export const LOST_CONNECTION = 'Lost connection to the daemon';
export const WRONG_CREDENTIALS = 'Wrong user name or password';
export const CREDENTIALS_NEEDED = 'The daemon asks for a user name and password';

// kind: 'connection' (no answer), 'auth' (401), 'locked' (403 after too many
// wrong passwords), 'refused' (another 403), 'http'
// (another status), 'protocol' (an answer not understood), 'result' (the
// daemon answered, and its result was not "success").
export class RpcError extends Error {
  constructor(kind, message, status = 0) {
    super(message);
    this.name = 'RpcError';
    this.kind = kind;
    this.status = status;
  }
}

// UTF-8 text as base64 (btoa alone takes Latin-1 only).
export function utf8Base64(text) {
  let binary = '';
  for (const byte of new TextEncoder().encode(text)) binary += String.fromCharCode(byte);
  return btoa(binary);
}

// The words of an error answer's body ("<h1>403</h1><p>why</p>"), as plain
// text (it is shown through textContent, never parsed as markup).
function bodyWords(body) {
  if (!body) return '';
  const paragraph = /<p>([\s\S]*?)<\/p>/i.exec(body);
  return (paragraph ? paragraph[1] : body.replace(/<[^>]*>/g, ' ')).replace(/\s+/g, ' ').trim();
}

function refusalWords(status, body) {
  const words = bodyWords(body);
  return words ? sentence(words) : `The daemon refused the request (HTTP ${status})`;
}

export class Rpc {
  constructor() {
    this.sessionId = '';
    this.authorization = '';
    this.tag = 0;
  }

  setCredentials(user, password) {
    this.authorization = `Basic ${utf8Base64(`${user}:${password}`)}`;
  }

  clearCredentials() {
    this.authorization = '';
  }

  hasCredentials() {
    return this.authorization !== '';
  }

  // The answer's arguments; throws RpcError.
  async call(method, args = {}, { timeoutMs = DEFAULT_TIMEOUT_MS } = {}) {
    this.tag += 1;
    const body = JSON.stringify({ method, arguments: args, tag: this.tag });
    for (let attempt = 0; attempt < HANDSHAKE_TRIES; attempt += 1) {
      const response = await this.post(body, timeoutMs);
      if (response.status === 409) {
        const id = response.headers.get(SESSION_HEADER);
        if (!id) throw new RpcError('protocol', 'The daemon answered 409 without a session id', 409);
        this.sessionId = id;
        continue;
      }
      return this.read(response);
    }
    throw new RpcError('protocol', 'The daemon keeps changing its session id', 409);
  }

  async post(body, timeoutMs) {
    const headers = {
      'Content-Type': 'application/json',
      'X-Requested-With': 'XMLHttpRequest',
    };
    if (this.sessionId) headers[SESSION_HEADER] = this.sessionId;
    if (this.authorization) headers.Authorization = this.authorization;
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), timeoutMs);
    try {
      return await fetch(RPC_PATH, {
        method: 'POST',
        headers,
        body,
        mode: 'same-origin',
        credentials: 'omit',
        cache: 'no-store',
        redirect: 'error',
        signal: abort.signal,
      });
    } catch {
      throw new RpcError('connection', LOST_CONNECTION);
    } finally {
      clearTimeout(timer);
    }
  }

  async read(response) {
    let text;
    try {
      text = await response.text();
    } catch {
      throw new RpcError('connection', LOST_CONNECTION);
    }
    const { status } = response;
    if (status === 401) {
      throw new RpcError('auth', this.authorization ? WRONG_CREDENTIALS : CREDENTIALS_NEEDED, 401);
    }
    if (status === 403) {
      // Too many wrong passwords from this address, or a page of another origin.
      const words = refusalWords(status, text);
      if (/password/i.test(words)) throw new RpcError('locked', `Locked out: ${words}`, 403);
      throw new RpcError('refused', words, 403);
    }
    if (status !== 200) throw new RpcError('http', refusalWords(status, text), status);
    let answer;
    try {
      answer = JSON.parse(text);
    } catch {
      throw new RpcError('protocol', 'The daemon\'s answer was not understood');
    }
    if (!answer || typeof answer !== 'object') throw new RpcError('protocol', 'The daemon\'s answer was not understood');
    if (answer.result !== 'success') {
      throw new RpcError('result', sentence(answer.result || 'The daemon gave no result'));
    }
    return answer.arguments && typeof answer.arguments === 'object' ? answer.arguments : {};
  }
}
