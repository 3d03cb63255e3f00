// The served page of `watch --serve` in headless Chromium: the page is
// loaded once; a station's time is changed in the train file (saved as an
// editor does, a new file renamed over the old one); the page must show
// the new time without the test reloading it, with the element picked and
// the map's zoom as they were. Saves five times and prints the latency
// from each save to the first frame of the reloaded page that shows the new
// time, and their median (the debounce of watch included).
//
//   node live_page_test.mjs SCENARIO_BUILDER EXAMPLE_DIR
// Exits 77 when Chromium or playwright-core is missing.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [program, example] = process.argv.slice(2).map((p) => path.resolve(p));
const chromium_path = ['/usr/bin/chromium', '/usr/bin/chromium-browser'].find((p) => fs.existsSync(p));
if (!chromium_path) {
  console.log('SKIPPED: Chromium is not installed (bash scripts/install-deps.sh --browser)');
  process.exit(77);
}
let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch {
  console.log('SKIPPED: playwright-core is not installed (bash scripts/install-deps.sh --browser)');
  process.exit(77);
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'sb-live.'));
for (const name of fs.readdirSync(example)) fs.copyFileSync(path.join(example, name), path.join(dir, name));
const train = path.join(dir, 'Esempio_7-.txt');

let failed = false;
const fail = (what) => {
  console.log('FAIL: ' + what);
  failed = true;
};

const watch = spawn(program, ['watch', 'Esempio_linea.txt', 'Esempio_7-.txt', '--serve', '127.0.0.1:0'], {
  cwd: dir,
  stdio: ['ignore', 'ignore', 'pipe'],
});
let said = '';
watch.on('error', (e) => (said += String(e)));
watch.stderr.on('data', (chunk) => (said += chunk));
const until = async (test, ms, what) => {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    const found = test();
    if (found) return found;
    await new Promise((r) => setTimeout(r, 20));
  }
  throw new Error('timed out waiting for ' + what + '; watch said:\n' + said);
};

let browser;
try {
  const url = (await until(() => /serving the page at (http:\S+)/.exec(said), 20000, 'the server'))[1];
  browser = await chromium.launch({
    executablePath: chromium_path,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = await browser.newPage();
  // Each load of the page notes when its timetable first shows the time the
  // test waits for (sessionStorage outlives the reload): the figure is the
  // page's own, not the test's polling.
  await page.addInitScript(() => {
    const wanted = sessionStorage.getItem('sb-test-wanted');
    if (!wanted) return;
    const look = () => {
      const t = document.getElementById('timetable');
      if (t && t.innerText.includes(wanted)) sessionStorage.setItem('sb-test-shown', String(Date.now()));
      else requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
  });
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  let loads = 0;
  page.on('load', () => ++loads);
  await page.goto(url);
  const timetable = () => page.locator('#timetable').innerText();
  if (!(await timetable()).includes('08:30:00')) fail('the page does not show the station time 08:30:00');

  // The author picks the second station (by the keyboard: hovering a row
  // fills the details above the timetable, which moves the row away from
  // under the pointer) and zooms the map in twice.
  await page.locator('#timetable tr[data-el]').nth(1).focus();
  await page.keyboard.press('Enter');
  await page.locator('[data-zoom="in"]').click();
  await page.locator('[data-zoom="in"]').click();
  const view = () =>
    page.evaluate(() => {
      const vb = document.getElementById('map').viewBox.baseVal;
      return { shown: document.getElementById('details').getAttribute('data-shown'),
        box: [vb.x, vb.y, vb.width, vb.height].map((v) => v.toFixed(3)).join(' ') };
    });
  const before = await view();
  // Waits until the event stream is open, so that the save is not missed.
  await page.waitForTimeout(300);

  // Several saves, each waited for: the figure is their median.
  const saves = 5;
  const latencies = [];
  for (let i = 0; i < saves; ++i) {
    const minute = String(47 + i);
    const text = fs.readFileSync(train, 'latin1');
    const edited = text.replace(/(stazione,\s+11000,.*?,\s+)8,\s+\d+,\s+0,/, `$18,  ${minute},  0,`);
    if (edited === text) throw new Error('the example train has no station at 11000 m');
    await page.evaluate((t) => {
      sessionStorage.setItem('sb-test-wanted', t);
      sessionStorage.removeItem('sb-test-shown');
    }, `08:${minute}:00`);
    const saved = Date.now();
    fs.writeFileSync(train + '.swp', edited, 'latin1');
    fs.renameSync(train + '.swp', train);
    await page.waitForFunction((t) => document.getElementById('timetable').innerText.includes(t), `08:${minute}:00`,
      { timeout: 10000, polling: 10 });
    latencies.push(Number(await page.evaluate(() => sessionStorage.getItem('sb-test-shown'))) - saved);
    // The reloaded page opens its event stream before the next save.
    await page.waitForTimeout(300);
  }
  const sorted = [...latencies].sort((a, b) => a - b);
  console.log(`save to page updated: ${latencies.join(', ')} ms; median ${sorted[(saves - 1) / 2]} ms`);
  console.log('watch: ' + said.split('\n').filter((l) => l.startsWith('built in')).join('; '));
  // A page that waits for a stalled server takes seconds, not a fraction of one.
  if (sorted[(saves - 1) / 2] > 1000) fail('the page took more than a second to show a save');

  if (loads !== 1 + saves) fail(`the page loaded ${loads} times, not ${1 + saves} (once by the test, once a save)`);
  const after = await view();
  if (after.shown !== before.shown) fail(`the picked element ${before.shown} became ${after.shown}`);
  if (after.box !== before.box) fail(`the map's view ${before.box} became ${after.box}`);
  if (errors.length) fail('script errors: ' + errors.join('; '));
  if (!/rebuilding after a change to Esempio_7-\.txt\nbuilt in \d+ ms/.test(said)) fail('watch said:\n' + said);
} catch (e) {
  fail(String(e && e.stack ? e.stack : e));
} finally {
  if (browser) await browser.close();
  if (watch.exitCode === null) {
    const exited = new Promise((r) => watch.on('exit', r));
    watch.kill('SIGTERM');
    await exited;
  }
  fs.rmSync(dir, { recursive: true, force: true });
}
if (!failed) console.log('1 passed, 0 failed');
process.exit(failed ? 1 : 0);
