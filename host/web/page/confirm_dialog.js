// The question asked before a task is removed with its data: a modal
// <dialog> naming the task. Escape or Cancel answer no.

export class ConfirmDialog {
  constructor() {
    this.dialog = document.getElementById('confirm');
    this.name = document.getElementById('confirm-name');
    this.answer = null;
    document.getElementById('confirm-yes').addEventListener('click', () => this.finish(true));
    document.getElementById('confirm-no').addEventListener('click', () => this.finish(false));
    this.dialog.addEventListener('close', () => this.finish(false));
  }

  get open() {
    return this.dialog.open;
  }

  // Resolves true when confirmed. `name` is shown as text.
  ask(name) {
    this.finish(false);
    const opener = document.activeElement;
    this.name.textContent = name;
    this.dialog.showModal();
    document.getElementById('confirm-no').focus();
    return new Promise((resolve) => {
      this.answer = (yes) => {
        if (opener instanceof HTMLElement && opener.isConnected) opener.focus();
        resolve(yes);
      };
    });
  }

  finish(yes) {
    const answer = this.answer;
    this.answer = null;
    if (this.dialog.open) this.dialog.close();
    if (answer) answer(yes);
  }
}
