// A pair of speed-limit fields (download, upload; KiB/s, empty for none)
// and the one request that applies them: the session's and a task's.

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
function limitText(limited, value) {
  return limited && value > 0 ? String(value) : '';
}

// One field; filled from the daemon only while the user has not edited it
// since it was last applied, so a refresh never overwrites what is typed.
class LimitField {
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

  reset() {
    this.edited = false;
    this.input.value = '';
  }
}

export class LimitPair {
  // form: its submit applies; keys: the RPC's names of the two limits and of
  // the two switches ({down, downOn, up, upOn}); send(args): the request
  // that sets them; refresh(): shows the daemon's values after; applied: the
  // notice then.
  constructor({ form, down, up, keys, messages, send, refresh, applied }) {
    this.down = new LimitField(down);
    this.up = new LimitField(up);
    this.keys = keys;
    this.messages = messages;
    this.send = send;
    this.refresh = refresh;
    this.applied = applied;
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      this.apply();
    });
  }

  // The daemon's values, from an answer holding the four keys.
  show(answer) {
    const k = this.keys;
    this.down.show(limitText(answer[k.downOn], answer[k.down]));
    this.up.show(limitText(answer[k.upOn], answer[k.up]));
  }

  reset() {
    this.down.reset();
    this.up.reset();
  }

  async apply() {
    const down = readLimit(this.down.input.value);
    const up = readLimit(this.up.input.value);
    if (down === undefined || up === undefined) {
      this.messages.error('A limit is a whole number of KiB/s (empty for none)');
      (down === undefined ? this.down : this.up).input.focus();
      return;
    }
    const k = this.keys;
    // None switches the limit off and leaves the number the daemon keeps.
    const args = { [k.downOn]: down !== null, [k.upOn]: up !== null };
    if (down !== null) args[k.down] = down;
    if (up !== null) args[k.up] = up;
    try {
      await this.send(args);
      this.down.edited = false;
      this.up.edited = false;
      await this.refresh();
      this.messages.clear();
      this.messages.info(this.applied);
    } catch (error) {
      this.messages.error(error.message);
    }
  }
}
