// The page's words for states and numbers, and the limit fields' reading.
// node --test tests/web/page_unit/

import assert from 'node:assert/strict';
import { test } from 'node:test';

import { formatEta, formatSize, percentValue, statusText } from '../../../host/web/page/format.js';
import { readLimit } from '../../../host/web/page/limits.js';

test('status words: a failure, a magnet without metadata, each status', () => {
  const base = { error: 0, errorString: '', metadataPercentComplete: 1 };
  const rows = [
    [{ status: 4, error: 3, errorString: 'disk full' }, 'Failed: disk full'],
    [{ status: 0, error: 1, errorString: 'gone' }, 'Failed: gone'],
    [{ status: 4, metadataPercentComplete: 0 }, 'Fetching metadata'],
    [{ status: 0, metadataPercentComplete: 0 }, 'Stopped'],
    [{ status: 0 }, 'Stopped'],
    [{ status: 1 }, 'Queued to check'],
    [{ status: 2 }, 'Checking'],
    [{ status: 3 }, 'Queued'],
    [{ status: 4 }, 'Downloading'],
    [{ status: 5 }, 'Queued to seed'],
    [{ status: 6 }, 'Seeding'],
  ];
  for (const [fields, words] of rows) assert.equal(statusText({ ...base, ...fields }), words, JSON.stringify(fields));
});

test('progress value: one decimal, kept within 0..100', () => {
  const rows = [[0, 0], [0.12345, 12.3], [0.99951, 100], [0.9994, 99.9], [1, 100], [1.5, 100], [-1, 0], [NaN, 0]];
  for (const [fraction, value] of rows) assert.equal(percentValue(fraction), value, String(fraction));
});

test('sizes in binary units, ETA only while downloading', () => {
  assert.deepEqual([0, 1023, 1024, 1536, 10 * 1024 * 1024, 3 * 1024 ** 4].map(formatSize),
    ['0 B', '1023 B', '1.00 KiB', '1.50 KiB', '10.0 MiB', '3.00 TiB']);
  const eta = (status, seconds) => formatEta({ status, eta: seconds });
  assert.deepEqual([eta(4, 45), eta(4, 3725), eta(4, 90000), eta(4, -1), eta(4, -2), eta(6, 45)],
    ['45s', '1h 02m', '1d 1h', '', 'Unknown', '']);
});

test('limit fields: empty or 0 is none, a whole number is KiB/s, anything else is refused', () => {
  const rows = [['', null], ['  ', null], ['0', null], ['250', 250], [' 12 ', 12],
    ['1.5', undefined], ['-3', undefined], ['1e3', undefined], ['abc', undefined], ['99999999999999999999', undefined]];
  for (const [text, value] of rows) assert.equal(readLimit(text), value, JSON.stringify(text));
});
