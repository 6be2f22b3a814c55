// Opens one of comtrade-view's pages in Debian's Chromium (headless, every
// network request refused), works it the way a user does and prints what the
// page showed as one JSON object on stdout:
//   node drive_viewer.mjs PAGE.html [--cursor T] [--zoom] [--screenshot FILE.png]
// --zoom: wheel-zooms on the first lane (zoomMs: until the first step is
// drawn), then drags a range on it.
// interactiveMs: from opening the page until it has drawn every lane and
// decoded what it asked for.
// --cursor T: types T into the cursor field and presses Enter (cursor A).
// --cursor-b T: the same for cursor B, afterwards (deltaT: what B - A shows).
// The caller judges the numbers against the library's.
import puppeteer from 'puppeteer-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';

const args = process.argv.slice(2);
const page = resolve(args[0]);
const option = (name) => {
  const i = args.indexOf(name);
  return i < 0 ? null : args[i + 1];
};
const cursor = option('--cursor');
const cursorB = option('--cursor-b');
const screenshot = option('--screenshot');
const zoom = args.includes('--zoom');

const profile = mkdtempSync(join(tmpdir(), 'kiv-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    `--user-data-dir=${profile}`],
  defaultViewport: { width: 1400, height: 900 },
  timeout: 60000,
});
const result = { consoleErrors: [], refused: [], dialogs: [] };
try {
  const tab = await browser.newPage();
  tab.on('console', (m) => { if (m.type() === 'error') result.consoleErrors.push(m.text()); });
  tab.on('pageerror', (e) => result.consoleErrors.push(String(e)));
  tab.on('dialog', async (d) => { result.dialogs.push(d.message()); await d.dismiss(); });
  await tab.setRequestInterception(true);
  // The page itself is the only thing that may load.
  const own = 'file://' + page;
  tab.on('request', (r) => {
    if (r.url() === own) r.continue();
    else { result.refused.push(r.url()); r.abort(); }
  });

  const settle = () => tab.waitForFunction(
    () => document.documentElement.dataset.ready === '1' && document.documentElement.dataset.busy === '0',
    { timeout: 60000, polling: 20 });
  const started = Date.now();
  await tab.goto(own, { waitUntil: 'load', timeout: 60000 });
  await settle();
  result.interactiveMs = Date.now() - started;
  // The page answers a first interaction: a wheel step over the first lane redraws.
  const lanes = await tab.$$('.lane:not(.axis) .u-over');
  const box = await lanes[0].boundingBox();
  const view = () => tab.evaluate(() => document.documentElement.dataset.view.split(',').map(Number));
  result.fullView = await view();

  if (zoom) {
    await tab.mouse.move(box.x + box.width * 0.5, box.y + box.height / 2);
    const before = (await view()).join();
    const wheeled = Date.now();
    await tab.mouse.wheel({ deltaY: -100 });
    await tab.waitForFunction((v) => document.documentElement.dataset.view !== v, { polling: 'raf' }, before);
    await settle();
    result.zoomMs = Date.now() - wheeled;
    for (let i = 0; i < 3; i++) await tab.mouse.wheel({ deltaY: -100 });
    await new Promise((r) => setTimeout(r, 100));
    await settle();
    result.wheelView = await view();
    await tab.mouse.move(box.x + box.width * 0.3, box.y + box.height / 2);
    await tab.mouse.down();
    await tab.mouse.move(box.x + box.width * 0.6, box.y + box.height / 2, { steps: 5 });
    await tab.mouse.up();
    await new Promise((r) => setTimeout(r, 100));
    await settle();
    result.dragView = await view();
  }
  if (cursor !== null) {
    await tab.click('#cursor-time', { clickCount: 3 });
    await tab.type('#cursor-time', cursor);
    await tab.keyboard.press('Enter');
    await tab.waitForFunction((t) => {
      const a = document.getElementById('t-A').textContent;
      return a !== '—' && Math.abs(parseFloat(a) - t) < 1 && document.documentElement.dataset.busy === '0';
    }, { timeout: 30000, polling: 20 }, Number(cursor));
  }
  if (cursorB !== null) {
    // Cursor B through its radio button, then back to A for the readout.
    await tab.click('#pick-B');
    await tab.click('#cursor-time', { clickCount: 3 });
    await tab.type('#cursor-time', cursorB);
    await tab.keyboard.press('Enter');
    await tab.waitForFunction(() => document.getElementById('t-B').textContent !== '—' &&
      document.documentElement.dataset.busy === '0', { timeout: 30000, polling: 20 });
    result.deltaT = await tab.evaluate(() => document.getElementById('t-D').textContent);
  }
  Object.assign(result, await tab.evaluate(() => {
    const text = (id) => (document.getElementById(id) || {}).textContent || '';
    const lanes = [...document.querySelectorAll('.lane:not(.axis)')].map((el, i) => ({
      id: el.id, title: el.querySelector('.lane-title').textContent,
      points: Number(el.dataset.points), width: Number(el.dataset.width),
      value: text('val-A-' + i), rms: text('rms-A-' + i), phasor: text('ph-A-' + i),
    }));
    const groups = [...document.querySelectorAll('#phasors .group')].map((g) => ({
      name: g.querySelector('h3').textContent,
      rows: [...g.querySelectorAll('tr')].map((tr) => [...tr.children].map((c) => c.textContent)),
    }));
    return { cursorTime: text('t-A'), cycleTime: text('cyc-A'), lanes, groups, title: document.title,
      header: text('facts'), status: text('status') };
  }));
  if (screenshot) await tab.screenshot({ path: screenshot });
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
process.stdout.write(JSON.stringify(result) + '\n');
