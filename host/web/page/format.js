// Numbers and states as the page shows them. Pure functions, no DOM.

const UNITS = ['B', 'KiB', 'MiB', 'GiB', 'TiB', 'PiB'];
const STEP = 1024;

// The daemon's eta when it has none, and when it cannot tell.
export const ETA_NOT_AVAILABLE = -1;
export const ETA_UNKNOWN = -2;

export const STATUS = Object.freeze({
  STOPPED: 0,
  CHECK_WAIT: 1,
  CHECKING: 2,
  DOWNLOAD_WAIT: 3,
  DOWNLOADING: 4,
  SEED_WAIT: 5,
  SEEDING: 6,
});

const STATUS_WORDS = [
  'Stopped', 'Queued to check', 'Checking', 'Queued', 'Downloading', 'Queued to seed', 'Seeding',
];

// 1536 -> "1.5 KiB"; three significant digits above a KiB.
export function formatSize(bytes) {
  if (!Number.isFinite(bytes) || bytes < 0) return '';
  let value = bytes;
  let unit = 0;
  while (value >= STEP && unit < UNITS.length - 1) {
    value /= STEP;
    unit += 1;
  }
  if (unit === 0) return `${value} B`;
  const digits = value < 10 ? 2 : value < 100 ? 1 : 0;
  return `${value.toFixed(digits)} ${UNITS[unit]}`;
}

// Bytes per second; nothing for zero, so idle rows stay quiet.
export function formatRate(bytesPerSecond) {
  if (!bytesPerSecond || bytesPerSecond < 0) return '';
  return `${formatSize(bytesPerSecond)}/s`;
}

const MINUTE = 60;
const HOUR = 60 * MINUTE;
const DAY = 24 * HOUR;

// Seconds left, in the two largest units: "2h 05m", "3d 4h", "45s".
export function formatDuration(seconds) {
  if (!Number.isFinite(seconds) || seconds < 0) return '';
  const s = Math.round(seconds);
  if (s < MINUTE) return `${s}s`;
  if (s < HOUR) return `${Math.floor(s / MINUTE)}m ${String(s % MINUTE).padStart(2, '0')}s`;
  if (s < DAY) return `${Math.floor(s / HOUR)}h ${String(Math.floor((s % HOUR) / MINUTE)).padStart(2, '0')}m`;
  return `${Math.floor(s / DAY)}d ${Math.floor((s % DAY) / HOUR)}h`;
}

export function formatEta(torrent) {
  if (torrent.status !== STATUS.DOWNLOADING) return '';
  if (torrent.eta === ETA_UNKNOWN) return 'Unknown';
  if (torrent.eta === ETA_NOT_AVAILABLE) return '';
  return formatDuration(torrent.eta);
}

// percentDone (0..1) as the progress bar's value: a percentage with one decimal.
export function percentValue(fraction) {
  if (!Number.isFinite(fraction)) return 0;
  return Math.round(Math.min(Math.max(fraction, 0), 1) * 1000) / 10;
}

export function formatPercent(fraction) {
  return `${percentValue(fraction)}%`;
}

export function formatRatio(ratio) {
  if (!Number.isFinite(ratio) || ratio < 0) return '';
  return ratio.toFixed(2);
}

// Seconds since the epoch as a local date and time; nothing for 0.
export function formatDate(epochSeconds) {
  if (!epochSeconds) return '';
  return new Date(epochSeconds * 1000).toLocaleString();
}

export function statusText(torrent) {
  if (torrent.error) return `Failed: ${torrent.errorString || 'unknown error'}`;
  if (torrent.status !== STATUS.STOPPED && torrent.metadataPercentComplete < 1) return 'Fetching metadata';
  return STATUS_WORDS[torrent.status] ?? 'Unknown';
}

// A class name for the status's colour.
export function statusKind(torrent) {
  if (torrent.error) return 'failed';
  if (torrent.status === STATUS.STOPPED) return 'stopped';
  if (torrent.metadataPercentComplete < 1) return 'metadata';
  if (torrent.status === STATUS.CHECKING || torrent.status === STATUS.CHECK_WAIT) return 'checking';
  if (torrent.status === STATUS.SEEDING || torrent.status === STATUS.SEED_WAIT) return 'seeding';
  return 'downloading';
}

// The daemon's words with a capital first letter, as a sentence on the page.
export function sentence(text) {
  const t = String(text ?? '').trim();
  return t ? t[0].toUpperCase() + t.slice(1) : t;
}
