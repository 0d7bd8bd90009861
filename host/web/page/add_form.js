// Adding tasks: seed files from the picker or dropped anywhere on the page
// (sent as base64 `metainfo`), and magnet links; with the download folder
// and "Start when added".

import { sentence } from './format.js';

const SEED_TYPE = 'application/x-bittorrent';
const ADD_TIMEOUT_MS = 60000;

export function isSeedFile(file) {
  return file.type === SEED_TYPE || /\.torrent$/i.test(file.name);
}

// A file's bytes as base64, without the data: URL's head.
export function fileBase64(file) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => {
      const url = String(reader.result);
      resolve(url.slice(url.indexOf(',') + 1));
    };
    reader.onerror = () => reject(reader.error || new Error('the file could not be read'));
    reader.readAsDataURL(file);
  });
}

export class AddForm {
  // rpc: an Rpc; messages: Messages; onAdded(): after any task was added.
  constructor({ rpc, messages, onAdded }) {
    this.rpc = rpc;
    this.messages = messages;
    this.onAdded = onAdded;
    this.fileInput = document.getElementById('add-file');
    this.linkForm = document.getElementById('add-link');
    this.linkInput = document.getElementById('magnet');
    this.folder = document.getElementById('download-dir');
    this.start = document.getElementById('start-added');
    this.daemonFolder = null;

    this.fileInput.addEventListener('change', () => {
      const files = [...this.fileInput.files];
      this.addFiles(files).finally(() => {
        this.fileInput.value = '';
      });
    });
    this.linkForm.addEventListener('submit', (event) => {
      event.preventDefault();
      this.addLink();
    });
    this.listenForDrops();
  }

  // The daemon's download folder; the field follows it until the user edits it.
  setDefaultFolder(dir) {
    if (typeof dir !== 'string') return;
    if (this.daemonFolder === null || this.folder.value === this.daemonFolder) this.folder.value = dir;
    this.daemonFolder = dir;
  }

  options() {
    const options = { paused: !this.start.checked };
    const dir = this.folder.value.trim();
    if (dir) options['download-dir'] = dir;
    return options;
  }

  // Sends one torrent-add; the words of what happened, or '' when it was added.
  async send(args, what) {
    try {
      const answer = await this.rpc.call('torrent-add', { ...args, ...this.options() }, { timeoutMs: ADD_TIMEOUT_MS });
      const duplicate = answer['torrent-duplicate'];
      if (duplicate) return { error: `Duplicate: "${duplicate.name ?? what}" is already in the list` };
      const added = answer['torrent-added'];
      return { added: added?.name ?? what };
    } catch (error) {
      return { error: error.message || String(error) };
    }
  }

  async addFiles(files) {
    if (!files.length) return;
    const errors = [];
    const added = [];
    for (const file of files) {
      if (!isSeedFile(file)) {
        errors.push(`${file.name}: not a torrent file`);
        continue;
      }
      let metainfo;
      try {
        metainfo = await fileBase64(file);
      } catch (error) {
        errors.push(`${file.name}: ${sentence(error.message)}`);
        continue;
      }
      const result = await this.send({ metainfo }, file.name);
      if (result.error) errors.push(files.length > 1 ? `${file.name}: ${result.error}` : result.error);
      else added.push(result.added);
    }
    this.report(added, errors);
  }

  async addLink() {
    const link = this.linkInput.value.trim();
    if (!link) {
      this.messages.error('Paste a magnet link first');
      this.linkInput.focus();
      return;
    }
    const result = await this.send({ filename: link }, link);
    if (!result.error) this.linkInput.value = '';
    this.report(result.error ? [] : [result.added], result.error ? [result.error] : []);
  }

  report(added, errors) {
    if (errors.length) this.messages.error(errors.join('; '));
    else if (added.length) this.messages.clear();
    if (added.length) {
      this.messages.info(`Added ${added.map((name) => `"${name}"`).join(', ')}`);
      this.onAdded();
    }
  }

  // A seed file (or a magnet link's text) dropped anywhere on the page.
  listenForDrops() {
    const carriesFiles = (event) => [...(event.dataTransfer?.types || [])].includes('Files');
    // Text dropped into a text field is the field's own business.
    const intoField = (event) => !carriesFiles(event) && event.target instanceof HTMLInputElement;
    let depth = 0;
    document.addEventListener('dragenter', (event) => {
      if (!carriesFiles(event)) return;
      depth += 1;
      document.body.classList.add('dropping');
    });
    document.addEventListener('dragleave', (event) => {
      if (!carriesFiles(event)) return;
      depth = Math.max(0, depth - 1);
      if (!depth) document.body.classList.remove('dropping');
    });
    document.addEventListener('dragover', (event) => {
      if (!event.dataTransfer || intoField(event)) return;
      event.preventDefault();
      event.dataTransfer.dropEffect = 'copy';
    });
    document.addEventListener('drop', (event) => {
      if (intoField(event)) return;
      event.preventDefault();
      depth = 0;
      document.body.classList.remove('dropping');
      const data = event.dataTransfer;
      if (!data) return;
      if (data.files && data.files.length) {
        this.addFiles([...data.files]);
        return;
      }
      const text = (data.getData('text/uri-list') || data.getData('text/plain') || '').trim();
      if (/^magnet:/i.test(text)) {
        this.linkInput.value = text.split(/\s+/)[0];
        this.addLink();
      }
    });
  }
}
