// What went wrong (#message, an alert) and what went well (#notice, a polite
// status). Text only: every string lands through textContent.
//
// Each error has a source: the connection's own errors ('connection') are
// cleared when the daemon answers again; an action's error stays until the
// next action succeeds or the user dismisses it.

export class Messages {
  constructor(doc = document) {
    this.message = doc.getElementById('message');
    this.notice = doc.getElementById('notice');
    this.dismiss = doc.getElementById('dismiss');
    this.source = '';
    this.dismiss.addEventListener('click', () => this.clear());
  }

  error(text, source = 'action') {
    this.source = source;
    this.message.textContent = text;
    this.dismiss.hidden = false;
    this.notice.textContent = '';
  }

  // Clears the error when it came from `source` (any source when none is given).
  clear(source) {
    if (source && this.source !== source) return;
    this.source = '';
    this.message.textContent = '';
    this.dismiss.hidden = true;
  }

  info(text) {
    this.notice.textContent = text;
  }

  get current() {
    return this.source;
  }
}
