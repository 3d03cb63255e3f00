// The view page of a 48 km scenario in headless Chromium at the window
// sizes authors use, a good build and a failed one (a misspelt keyword,
// an error by default); and the pages watch writes as a save fails and is
// mended. At each size: no list clips its text (every cell shows its whole
// text or wraps it, no list hides columns to the side), pointing at any
// row moves no row, and a failed build's banner and first error are in
// the first screen. The values agree with the terminal and with inspect:
// each diagnostic as printed, each element's cell and position, a
// slowdown's end and length. A screenshot of each page and size is kept
// in ARTEFACT_DIR.
//
//   node page_layout_test.mjs SCENARIO_BUILDER FIXTURE_DIR ARTEFACT_DIR
// Exits 77 when Chromium or playwright-core is missing.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [program, fixtures, artefacts] = process.argv.slice(2).map((p) => path.resolve(p));
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

let failed = false;
const fail = (what) => {
  console.log('FAIL: ' + what);
  failed = true;
};
const run = (args, cwd) => spawnSync(program, args, { cwd, encoding: 'latin1' });

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'sb-layout.'));
fs.mkdirSync(artefacts, { recursive: true });
const good = path.join(dir, 'good'), bad = path.join(dir, 'bad'), live = path.join(dir, 'live');
for (const d of [good, bad, live]) {
  fs.mkdirSync(d);
  for (const name of fs.readdirSync(fixtures)) fs.copyFileSync(path.join(fixtures, name), path.join(d, name));
}
const trainText = fs.readFileSync(path.join(good, 'Lunga_5-.txt'), 'latin1');
const misspelt = trainText.replace(/^sabbia,/m, 'sabia,');
if (misspelt === trainText) throw new Error('the fixture has no sabbia record to misspell');
fs.writeFileSync(path.join(bad, 'Lunga_5-.txt'), misspelt, 'latin1');
// The failed variant has a second misspelling, in the line file: the
// diagnostics then come from both files.
const lineText = fs.readFileSync(path.join(good, 'Lunga_linea.txt'), 'latin1');
fs.writeFileSync(path.join(bad, 'Lunga_linea.txt'), lineText.replace(/^cartello_indicatore,  33450/m,
  'cartelo_indicatore,  33450'), 'latin1');

// view exits as compile does; a failed build's page is still written.
const views = {};
for (const [name, cwd, extra, status] of [['good', good, [], 0], ['failed', bad, [], 1]]) {
  const r = run(['view', 'Lunga_linea.txt', 'Lunga_5-.txt', '-o', name + '.html', ...extra], cwd);
  if (r.status !== status) fail(`view ${name}: status ${r.status}, not ${status}: ${r.stderr}`);
  views[name] = { file: path.join(cwd, name + '.html'), stderr: r.stderr };
}
// Warnings alone: the misspelling kept a warning is no failed build.
{
  const r = run(['view', 'Lunga_linea.txt', 'Lunga_5-.txt', '-o', 'warned.html', '-Wno-error=unknown-field'], bad);
  if (r.status !== 0) fail(`view with a warning only: status ${r.status}, not 0`);
  const html = fs.readFileSync(path.join(bad, 'warned.html'), 'latin1');
  if (html.includes('<body class="failed">') || html.includes('class="check unknown"')) {
    fail('a page with a warning only shows a failed build');
  }
  if (!html.includes('</td><td class="sev">warning:</td>')) fail('the warning is not listed as a warning');
}
const compiled = run(['compile', 'Lunga_linea.txt', 'Lunga_5-.txt'], good);
if (compiled.status !== 0) fail('the fixture does not compile: ' + compiled.stderr);
const inspected = run(['inspect', 'Lunga_5.dat'], good).stdout;

// In the page: every list cell shows its text (or wraps it), no list hides
// columns to the side; a cell with a line the size of the list is clipped.
const clipped = () => {
  const out = [];
  document.querySelectorAll('.list').forEach((l) => {
    l.style.contentVisibility = 'visible';
  });
  document.querySelectorAll('.list').forEach((l) => {
    const name = (l.closest('[id]') || l).id + ' ' + (l.querySelector('h2') || {}).textContent;
    if (l.scrollWidth > l.clientWidth + 1) out.push(`${name}: ${l.scrollWidth - l.clientWidth} px hidden to the side`);
    l.querySelectorAll('td, th').forEach((c) => {
      if (c.scrollWidth > c.clientWidth + 1) out.push(`${name}: "${c.textContent.slice(0, 40)}" clipped`);
    });
  });
  return out;
};
// Where every row stands in the document.
const rowPlaces = () =>
  Array.from(document.querySelectorAll('tr[data-el], tr[data-diag]')).map((r) => {
    const b = r.getBoundingClientRect();
    return Math.round(b.top + window.scrollY) + ',' + Math.round(b.left + window.scrollX);
  });

const sizes = [[1280, 800], [1440, 900], [1920, 1080], [800, 900]];
let browser;
try {
  browser = await chromium.launch({ executablePath: chromium_path, headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run'] });

  const check = async (name, file, [width, height]) => {
    const page = await browser.newPage({ viewport: { width, height } });
    const errors = [];
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.goto('file://' + file);
    const at = `${name} at ${width}x${height}`;
    const failedPage = await page.evaluate(() => document.body.classList.contains('failed'));
    if (failedPage) {
      // The banner and the first error in the first screen, before any scrolling.
      const seen = await page.evaluate(() => {
        const inView = (n) => n && n.getBoundingClientRect().bottom <= window.innerHeight &&
          n.getBoundingClientRect().top >= 0;
        return { banner: inView(document.getElementById('banner')),
          error: inView(document.querySelector('#diagnostics tr.diag.error')) };
      });
      if (!seen.banner) fail(`${at}: the failed build's banner is not in the first screen`);
      if (!seen.error) fail(`${at}: the first error is not in the first screen`);
    }
    for (const c of await page.evaluate(clipped)) fail(`${at}: ${c}`);

    // Pointing at a row moves no row, and the row stays under the pointer.
    const rows = page.locator(
      '#timetable tr[data-el], #lists .list tr[data-el]:nth-child(-n+4), #diagnostics tr[data-diag]');
    const count = await rows.count();
    let moved = 0;
    for (let i = 0; i < count; ++i) {
      const row = rows.nth(i);
      await row.evaluate((r) => r.scrollIntoView({ block: 'center' }));
      const before = await page.evaluate(rowPlaces);
      const box = await row.boundingBox();
      await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
      const after = await page.evaluate(rowPlaces);
      const under = await row.evaluate((r, p) => document.elementFromPoint(p.x, p.y)?.closest('tr') === r,
        { x: box.x + box.width / 2, y: box.y + box.height / 2 });
      if (before.join(' ') !== after.join(' ') || !under) ++moved;
    }
    if (count < 10) fail(`${at}: only ${count} rows to point at`);
    if (moved) fail(`${at}: pointing at ${moved} of ${count} rows moved the rows`);
    await page.mouse.move(0, 0);
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({ path: path.join(artefacts, `page-${name}-${width}x${height}.png`), fullPage: true });
    if (errors.length) fail(`${at}: script errors: ${errors.join('; ')}`);
    await page.close();
  };
  for (const size of sizes) {
    await check('good', views.good.file, size);
    await check('failed', views.failed.file, size);
  }

  // The values: the diagnostics as the terminal printed them, the elements
  // where inspect lists them, the slowdown's end and length.
  const page = await browser.newPage({ viewport: { width: 1440, height: 900 } });
  await page.goto('file://' + views.failed.file);
  const shown = await page.evaluate(() => Array.from(document.querySelectorAll('#diagnostics tr[data-diag]')).map(
    (r) => [r.cells[0].textContent + ' ' + r.cells[1].textContent + ' ' + r.querySelector('.dm').textContent,
      ...Array.from(r.querySelectorAll('.note')).map((n) => n.textContent)].join('\n')));
  const printed = views.failed.stderr.trimEnd();
  if (shown.join('\n') !== printed) fail(`the diagnostics differ from the terminal:\n${shown.join('\n')}\n---\n${printed}`);
  if (!/^Lunga_5-\.txt:4:1: error: .*\[-Werror=unknown-field\]$/m.test(shown.join('\n'))) {
    fail('the misspelt keyword is not listed as an error with its -Werror= name: ' + shown.join('\n'));
  }
  // Sorted by file and line, and back into the order found.
  const order = () => page.evaluate(() =>
    Array.from(document.querySelectorAll('#diagnostics tr[data-diag]')).map((r) => r.cells[0].textContent).join(' '));
  const found = await order();
  await page.locator('[data-sort="place"]').click();
  const sorted = await order();
  if (sorted !== 'Lunga_5-.txt:4:1: Lunga_linea.txt:57:1:') fail('sorted by file and line: ' + sorted);
  await page.locator('[data-sort="order"]').click();
  if ((await order()) !== found || found === sorted) fail('back in the order found: ' + (await order()));
  const banner = await page.locator('#banner').innerText();
  if (!/do not compile: 2 errors/.test(banner)) fail('the banner says: ' + banner);
  const checks = await page.locator('.check.unknown').count();
  if (checks !== 2) fail(`${checks} check codes shown as unknown after a failed build, not 2`);

  await page.goto('file://' + views.good.file);
  const elements = await page.evaluate(() => JSON.parse(document.getElementById('view-data').textContent).elements);
  const metres = (m) => String(m).replace(/\B(?=(\d{3})+(?!\d))/g, ' ') + ' m';
  let compared = 0;
  for (const e of elements) {
    if (!['signal', 'line-board', 'speed-board', 'slowdown'].includes(e.k)) continue;
    const listed = new RegExp(`^\\s*cell\\s+${e.c}\\s+${metres(e.p)}\\s`, 'm');
    if (!listed.test(inspected)) fail(`${e.k} ${e.n}: cell ${e.c} at ${metres(e.p)} is not where inspect lists it`);
    ++compared;
  }
  if (compared < 20) fail(`only ${compared} elements compared with inspect`);
  const slowdown = elements.find((e) => e.k === 'slowdown' && e.p === 9500);
  const value = (e, key) => (e.v.find((kv) => kv[0] === key) || [])[1];
  if (!slowdown) fail('no slowdown at 9 500 m');
  else {
    if (value(slowdown, 'end') !== '10 300 m' || value(slowdown, 'l (length)') !== '800 m') {
      fail('the slowdown at 9 500 m: ' + JSON.stringify(slowdown.v));
    }
    const endCell = value(slowdown, 'end cell');
    if (!new RegExp(`^\\s*cell\\s+${endCell}\\s+10 300 m .*slowdown end: speed 60`, 'm').test(inspected)) {
      fail(`inspect does not list the slowdown's end in cell ${endCell} at 10 300 m`);
    }
  }
  const ends = await page.evaluate(() => [!!document.getElementById('route-end'),
    !!document.getElementById('map-route-end'), !!document.querySelector('#map .line.tail'),
    !!document.querySelector('#profile .tail')]);
  if (ends.includes(false)) fail('the route end or the tail is not marked: ' + ends.join(' '));
  await page.close();

  // watch writes the page on every build: a failed save says when it
  // failed and that the compiled files stayed; the next good one says the
  // one before failed.
  const watch = spawn(program, ['watch', 'Lunga_linea.txt', 'Lunga_5-.txt', '-o', 'live.html'],
    { cwd: live, stdio: ['ignore', 'ignore', 'pipe'] });
  let said = '';
  watch.stderr.on('data', (c) => (said += c));
  const until = async (test, what) => {
    const end = Date.now() + 20000;
    while (Date.now() < end) {
      if (test()) return;
      await new Promise((r) => setTimeout(r, 20));
    }
    throw new Error('timed out waiting for ' + what + '; watch said:\n' + said);
  };
  const save = (text) => {
    const file = path.join(live, 'Lunga_5-.txt');
    fs.writeFileSync(file + '.swp', text, 'latin1');
    fs.renameSync(file + '.swp', file);
  };
  try {
    await until(() => /built in \d+ ms/.test(said), 'the first build');
    save(misspelt);
    await until(() => /failed: /.test(said), 'the failed build');
    const failedPage = fs.readFileSync(path.join(live, 'live.html'), 'latin1');
    if (!/Build failed at \d\d:\d\d:\d\d: 1 error<\/strong> &mdash; the compiled files were not updated/.test(failedPage)) {
      fail('the page of the failed build has no banner saying so');
    }
    const shot = await browser.newPage({ viewport: { width: 1440, height: 900 } });
    await shot.goto('file://' + path.join(live, 'live.html'));
    await shot.screenshot({ path: path.join(artefacts, 'page-watch-failed-1440x900.png') });
    save(trainText);
    await until(() => (said.match(/built in \d+ ms/g) || []).length === 2, 'the mended build');
    const mended = fs.readFileSync(path.join(live, 'live.html'), 'latin1');
    if (!/class="banner mended".*the build at \d\d:\d\d:\d\d failed; this one compiled/.test(mended)) {
      fail('the page of the good build after a failed one does not say so');
    }
    await shot.goto('file://' + path.join(live, 'live.html'));
    await shot.screenshot({ path: path.join(artefacts, 'page-watch-mended-1440x900.png') });
  } finally {
    const exited = new Promise((r) => watch.on('exit', r));
    watch.kill('SIGTERM');
    await exited;
  }
} catch (e) {
  fail(String(e && e.stack ? e.stack : e));
} finally {
  if (browser) await browser.close();
  fs.rmSync(dir, { recursive: true, force: true });
}
console.log(`screenshots in ${artefacts}`);
if (!failed) console.log('1 passed, 0 failed');
process.exit(failed ? 1 : 0);
