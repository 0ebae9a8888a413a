// SPDX-License-Identifier: Apache-2.0
'use strict';
// Drives dynamic HTML reports in headless Chromium, which has neither VBScript nor XML data
// islands: the page's own script must build, colour, sort and hide the table from the data
// island. A second part stands in for an old browser (transformNode present) and checks
// that the page then leaves the work to the style island as it always did.
//
// Usage: node dhtml_page_test.js <node_modules folder> <sample page generator>

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const [modulesDir, generator] = process.argv.slice(2);
if (!modulesDir || !generator) {
  console.error('usage: dhtml_page_test.js <node_modules folder> <sample page generator>');
  process.exit(2);
}
const { chromium } = require(path.resolve(modulesDir, 'playwright-core'));
const acorn = require(path.resolve(modulesDir, 'acorn'));

const HOSTILE =
  '<script>window.pwned=1</script><img src=x onerror="window.pwned=2">' +
  '"quoted" & \'single\' &amp;';
const RED = 'rgb(255, 0, 0)';
const GREEN = 'rgb(0, 128, 0)';
const ORANGE = 'rgb(255, 165, 0)';
const PURPLE = 'rgb(128, 0, 128)';

let context;
let workDir;

before(async () => {
  workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'tavrel-dhtml-'));
  const profile = path.join(workDir, 'profile');
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--disable-quic'],
  });
});

after(async () => {
  if (context) await context.close();
  if (workDir) fs.rmSync(workDir, { recursive: true, force: true });
});

function writeSample(scenario) {
  const file = path.join(workDir, `${scenario}.htm`);
  execFileSync(path.resolve(generator), [scenario, file], { stdio: ['ignore', 'ignore', 'inherit'] });
  return file;
}

// Opens a report and waits for the table; collects every script error, console error
// (a failed image load included) and dialog.
async function openReport(file, initScript) {
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(`pageerror: ${e.message}`));
  page.on('console', (m) => { if (m.type() === 'error') problems.push(`console: ${m.text()}`); });
  page.on('dialog', (d) => { problems.push(`dialog: ${d.message()}`); d.dismiss(); });
  if (initScript) await page.addInitScript(initScript);
  await page.goto(pathToFileURL(file).href);
  await page.waitForFunction(() => document.querySelector('#XslResults #MAINTABLE') !== null);
  return { page, problems };
}

async function openSample(scenario) {
  return openReport(writeSample(scenario));
}

// The texts of one column, row by row, in the table the reader sees.
function column(page, name) {
  return page.evaluate((n) => Array.from(
    document.querySelectorAll('#XslResults #MAINTABLE > tbody > tr'),
    (row) => Array.from(row.children).filter((c) => c.id === n).map((c) => c.textContent).join('|')),
  name);
}

function clickHeader(page, name) {
  return page.click(`#XslResults #MAINTABLE > thead td[id="${name}"]`);
}

function choose(page, value) {
  return page.selectOption('#XslResults select[name="showHidden"]', value);
}

// Visibility of a column's header cell and data cells as the reader sees them.
function columnState(page, name) {
  return page.evaluate((n) => {
    const cells = Array.from(document.querySelectorAll('#XslResults #MAINTABLE td'))
      .filter((c) => c.id === n);
    const option = Array.from(document.querySelectorAll('#XslResults select option'))
      .find((o) => o.value === n);
    return {
      cells: cells.length,
      hidden: cells.filter((c) => getComputedStyle(c).display === 'none').length,
      option: option ? option.text : null,
      selected: document.querySelector('#XslResults select').value,
    };
  }, name);
}

// Computed text colour of every cell of each row, keyed by the row's cn (or DN).
function rowColours(page, key) {
  return page.evaluate((k) => {
    const result = {};
    for (const row of document.querySelectorAll('#XslResults #MAINTABLE > tbody > tr')) {
      const cells = Array.from(row.children);
      const name = cells.find((c) => c.id === k).textContent;
      const colours = new Set(cells.map((c) => (c.style.color ? getComputedStyle(c).color : '')));
      result[name] = Array.from(colours).join(',');
    }
    return result;
  }, key);
}

test('the page script parses in the old JScript dialect (ECMAScript 3)', () => {
  const page = fs.readFileSync(writeSample('report'), 'latin1');
  const open = '<SCRIPT LANGUAGE="JSCRIPT">';
  const start = page.indexOf(open) + open.length;
  const script = page.slice(start, page.indexOf('</SCRIPT>', start));
  assert.ok(script.includes('function sort(field)'));
  assert.doesNotThrow(() => acorn.parse(script, { ecmaVersion: 3 }));
  // The check itself rejects what the old engine would.
  assert.throws(() => acorn.parse('let x = () => 1;', { ecmaVersion: 3 }));
});

test('one table row per object, islands hidden, total line counts the objects', async () => {
  const { page, problems } = await openSample('report');
  assert.deepEqual(await column(page, 'cn'), ['dc1', 'pc-a', 'pc-b', 'pc-d', 'pc&co']);
  const view = await page.evaluate(() => ({
    total: document.querySelector('#XslResults .total').textContent,
    // Read as text, the islands are no elements at all; read as elements, they are hidden.
    style: ((e) => (e ? getComputedStyle(e).display : 'none'))(document.getElementById('xmlStyle')),
    source: ((e) => (e ? getComputedStyle(e).display : 'none'))(document.getElementById('xmlSource')),
    title: document.querySelector('#XslResults h1').textContent,
    filter: Array.from(document.querySelectorAll('#XslResults td.descriptionValue'))
      .map((c) => c.textContent),
    headers: Array.from(document.querySelectorAll('#XslResults #MAINTABLE > thead td'),
      (c) => c.id),
    colourCellShown: Array.from(document.querySelectorAll('#XslResults #MAINTABLE td'))
      .filter((c) => c.id === 'COLOR' && getComputedStyle(c).display !== 'none').length,
    bodyText: document.body.innerText,
  }));
  assert.equal(view.total, 'Total Items Returned 5');
  assert.equal(view.style, 'none');
  assert.equal(view.source, 'none');
  assert.equal(view.title, '2024/03/01-12:00:00');
  assert.ok(view.filter.includes(
    '(&(objectcategory=computer)(pwdLastSet<=133458768000000000))'), view.filter.join(' / '));
  assert.deepEqual(view.headers,
    ['DN', 'cn', 'sAMAccountName', 'pwage', 'description', 'userAccountControl']);
  assert.equal(view.colourCellShown, 0);
  // Nothing of the raw style island (its script or value-of placeholders) shows.
  assert.ok(!view.bodyText.includes('CountIT'), view.bodyText);
  assert.deepEqual(problems, []);
  await page.close();
});

test('rows start in the order of the sort attribute; DN is the initial current field', async () => {
  const { page } = await openSample('report');
  assert.deepEqual(await column(page, 'sAMAccountName'),
    ['DC1$', 'PC-A$', 'PC-B$', 'PC-D$', 'PC-E$']);
  // The current field starts as DN with "+", so the first DN click sorts descending.
  await clickHeader(page, 'DN');
  assert.deepEqual(await column(page, 'cn'), ['pc-d', 'pc-b', 'pc-a', 'pc&co', 'dc1']);
  await clickHeader(page, 'DN');
  assert.deepEqual(await column(page, 'cn'), ['dc1', 'pc&co', 'pc-a', 'pc-b', 'pc-d']);
  await page.close();
});

test('a header click sorts ascending, the next click on it descending', async () => {
  const { page, problems } = await openSample('report');
  const cases = [
    // Whole numbers compare by value, not as text.
    ['pwage', ['5', '7', '20', '100', '1000'], ['1000', '100', '20', '7', '5']],
    ['cn', ['dc1', 'pc&co', 'pc-a', 'pc-b', 'pc-d'], ['pc-d', 'pc-b', 'pc-a', 'pc&co', 'dc1']],
    ['sAMAccountName', ['DC1$', 'PC-A$', 'PC-B$', 'PC-D$', 'PC-E$'],
      ['PC-E$', 'PC-D$', 'PC-B$', 'PC-A$', 'DC1$']],
  ];
  for (const [field, ascending, descending] of cases) {
    await clickHeader(page, field);
    assert.deepEqual(await column(page, field), ascending, `${field} first click`);
    await clickHeader(page, field);
    assert.deepEqual(await column(page, field), descending, `${field} second click`);
    await clickHeader(page, field);
    assert.deepEqual(await column(page, field), ascending, `${field} third click`);
  }
  // Another column after a descending sort starts ascending again.
  await clickHeader(page, 'cn');
  await clickHeader(page, 'cn');
  await clickHeader(page, 'pwage');
  assert.deepEqual(await column(page, 'pwage'), ['5', '7', '20', '100', '1000']);
  assert.deepEqual(problems, []);
  await page.close();
});

test('the drop-down hides and shows a column, also across a sort', async () => {
  const { page, problems } = await openSample('report');
  await choose(page, 'cn');
  assert.deepEqual(await columnState(page, 'cn'),
    { cells: 6, hidden: 6, option: '(Hidden) cn', selected: '' });
  assert.equal((await columnState(page, 'DN')).hidden, 0);

  // A sort rebuilds the rows; the column stays hidden and the rows are really re-sorted.
  await clickHeader(page, 'pwage');
  assert.deepEqual(await column(page, 'pwage'), ['5', '7', '20', '100', '1000']);
  assert.deepEqual(await columnState(page, 'cn'),
    { cells: 6, hidden: 6, option: '(Hidden) cn', selected: '' });

  await choose(page, 'cn');
  assert.deepEqual(await columnState(page, 'cn'),
    { cells: 6, hidden: 0, option: 'cn', selected: '' });

  await choose(page, 'HIDEALL');
  for (const name of ['DN', 'cn', 'sAMAccountName', 'pwage', 'description',
    'userAccountControl']) {
    const state = await columnState(page, name);
    assert.equal(state.hidden, 6, name);
    assert.equal(state.option, `(Hidden) ${name}`);
  }
  // Every header is hidden now; sort as a click would.
  await page.evaluate(() => sort('cn'));
  assert.equal((await columnState(page, 'description')).hidden, 6);
  await choose(page, 'UNHIDEALL');
  for (const name of ['DN', 'cn', 'description']) {
    assert.deepEqual(await columnState(page, name),
      { cells: 6, hidden: 0, option: name, selected: '' });
  }
  assert.deepEqual(problems, []);
  await page.close();
});

test('disabled and domain controller rows carry their colours, also after a sort', async () => {
  const { page } = await openSample('report');
  const expected = { 'dc1': GREEN, 'pc-a': '', 'pc-b': '', 'pc-d': RED, 'pc&co': '' };
  assert.deepEqual(await rowColours(page, 'cn'), expected);
  await clickHeader(page, 'pwage');
  assert.deepEqual(await rowColours(page, 'cn'), expected);
  await page.close();
});

test('a modifying run shows ACTION and RESULT and colours failed, skipped and DC rows', async () => {
  const { page, problems } = await openSample('modify');
  const headers = await page.evaluate(() => Array.from(
    document.querySelectorAll('#XslResults #MAINTABLE > thead td'), (c) => c.id));
  assert.deepEqual(headers.slice(-2), ['ACTION', 'RESULT']);
  assert.deepEqual(await column(page, 'RESULT'), ['SKIPPED - DC', '(0x32) Insufficient access',
    '(0x0 ) TEST MODE', '(0x0 ) TEST MODE', 'SKIPPED - SAFETY']);
  assert.deepEqual(await rowColours(page, 'cn'),
    { 'dc2': GREEN, 'pc-fail': ORANGE, 'pc-off': '', 'pc-ok': '', 'pc-skip': PURPLE });
  const total = await page.textContent('#XslResults .total');
  assert.equal(total, 'Total Items Returned 5');
  assert.deepEqual(problems, []);
  await page.close();
});

test('a hostile value shows as text and runs nothing', async () => {
  const { page, problems } = await openSample('report');
  await clickHeader(page, 'description');
  const view = await page.evaluate(() => ({
    pwned: window.pwned,
    injected: document.querySelectorAll('#XslResults #MAINTABLE script, #XslResults #MAINTABLE img')
      .length,
    dn: Array.from(document.querySelectorAll('#XslResults #MAINTABLE td'))
      .filter((c) => c.id === 'DN').map((c) => c.textContent),
  }));
  assert.ok((await column(page, 'description')).includes(HOSTILE));
  assert.equal(view.pwned, undefined);
  assert.equal(view.injected, 0);
  assert.ok(view.dn.includes('CN=pc&co,OU=Computers,DC=tavrel,DC=test'), view.dn.join(' / '));
  assert.deepEqual(problems, []);
  await page.close();
});

test('a run without objects shows the header row, no data row and a total of 0', async () => {
  const { page, problems } = await openSample('empty');
  const view = await page.evaluate(() => ({
    headers: document.querySelectorAll('#XslResults #MAINTABLE > thead td').length,
    rows: document.querySelectorAll('#XslResults #MAINTABLE > tbody > tr').length,
    total: document.querySelector('#XslResults .total').textContent,
  }));
  assert.deepEqual(view, { headers: 6, rows: 0, total: 'Total Items Returned 0' });
  await clickHeader(page, 'cn');
  await choose(page, 'cn');
  assert.equal((await columnState(page, 'cn')).hidden, 1);
  assert.deepEqual(problems, []);
  await page.close();
});

test('without a DN column the total line shows 0 but every row is there', async () => {
  const { page } = await openSample('nodn');
  assert.equal(await page.textContent('#XslResults .total'), 'Total Items Returned 0');
  assert.equal((await column(page, 'cn')).length, 5);
  await page.close();
});

test('where the islands cannot be had as text, they are read as the elements parsed', async () => {
  const { page, problems } = await openReport(writeSample('report'),
    () => { document.write = () => {}; });
  assert.deepEqual(await column(page, 'cn'), ['dc1', 'pc-a', 'pc-b', 'pc-d', 'pc&co']);
  assert.deepEqual(await page.evaluate(() => ['xmlStyle', 'xmlSource'].map(
    (id) => getComputedStyle(document.getElementById(id)).display)), ['none', 'none']);
  await clickHeader(page, 'cn');
  await clickHeader(page, 'cn');
  assert.deepEqual(await column(page, 'cn'), ['pc-d', 'pc-b', 'pc-a', 'pc&co', 'dc1']);
  assert.deepEqual(problems, []);
  await page.close();
});

test('a page without its head starts the same way', async () => {
  const { page, problems } = await openSample('nohead');
  assert.equal((await column(page, 'cn')).length, 5);
  assert.equal(await page.textContent('#XslResults .total'), 'Total Items Returned 5');
  assert.deepEqual(problems, []);
  await page.close();
});

// Every row of a large page, as the reader meets it scrolling down from the top: the rows in
// the table at each step are a stretch of the whole order, placed by the overlap with the
// rows seen before. Returns the rows' [cn, pwage, text colour] in page order.
function scrollThrough(page) {
  return page.evaluate(async () => {
    const frame = () => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0)));
    const seen = [];
    const at = new Map();
    window.scrollTo(0, 0);
    for (let step = 0; step < 100000; step++) {
      await frame();
      const rows = Array.from(document.querySelectorAll('#XslResults #MAINTABLE > tbody > tr'))
        .filter((row) => row.children.length > 1)
        .map((row) => {
          const cell = (id) => Array.from(row.children).find((c) => c.id === id);
          return [cell('cn').textContent, cell('pwage').textContent, cell('cn').style.color];
        });
      const start = seen.length === 0 ? 0 : at.get(rows[0][0]);
      if (start === undefined) throw new Error(`no overlap at step ${step}: ${rows[0][0]}`);
      rows.forEach((row, i) => {
        if (seen[start + i] === undefined) {
          seen[start + i] = row;
          at.set(row[0], start + i);
        } else if (seen[start + i][0] !== row[0]) {
          throw new Error(`row ${start + i} was ${seen[start + i][0]}, now ${row[0]}`);
        }
      });
      const bottom = window.scrollY + window.innerHeight >= document.documentElement.scrollHeight;
      if (bottom) return seen;
      // On to the last row in the table, which the next step must show again.
      const last = Array.from(document.querySelectorAll('#XslResults #MAINTABLE > tbody > tr'))
        .filter((row) => row.children.length > 1).pop();
      window.scrollBy(0, Math.max(window.innerHeight / 2, last.getBoundingClientRect().top));
    }
    throw new Error('the page never reached its end');
  });
}

test('a page of 10,000 objects shows every row and sorts it both ways', async () => {
  const count = 10000;
  const { page, problems } = await openSample(`large:${count}`);
  assert.equal(await page.textContent('#XslResults .total'), `Total Items Returned ${count}`);
  // The objects the generator wrote: cn pc<n>, ages cycling, every 7th disabled (red), every
  // 50th a domain controller (green).
  const expected = new Map();
  for (let i = 0; i < count; i++) {
    const cn = `pc${String((i * 7919) % count).padStart(7, '0')}`;
    const age = (i * 37) % 10001 - 1;
    const colour = i % 50 === 0 ? 'green' : (i % 7 === 0 ? 'red' : '');
    expected.set(cn, [age < 0 ? '-0001' : String(age).padStart(4, '0'), colour]);
  }
  const check = (rows, label) => {
    assert.equal(rows.length, count, label);
    assert.equal(new Set(rows.map((r) => r[0])).size, count, label);
    for (const [cn, pwage, colour] of rows) {
      assert.deepEqual([pwage, colour], expected.get(cn), `${label}: ${cn}`);
    }
  };
  // Initial order: sAMAccountName, which is cn with a "$".
  const initial = await scrollThrough(page);
  check(initial, 'initial');
  assert.deepEqual(initial.map((r) => r[0]), Array.from(expected.keys()).sort());

  await clickHeader(page, 'pwage');
  const ascending = await scrollThrough(page);
  check(ascending, 'ascending');
  // By value, and equal ages in the order of the data island.
  const island = new Map(Array.from(expected.keys(), (cn, i) => [cn, i]));
  const byIsland = (a, b) => island.get(a[0]) - island.get(b[0]);
  assert.deepEqual(ascending,
    ascending.slice().sort((a, b) => Number(a[1]) - Number(b[1]) || byIsland(a, b)));

  await clickHeader(page, 'pwage');
  const descending = await scrollThrough(page);
  check(descending, 'descending');
  assert.deepEqual(descending.map((r) => r[1]), ascending.map((r) => r[1]).reverse());
  assert.deepEqual(descending,
    descending.slice().sort((a, b) => Number(b[1]) - Number(a[1]) || byIsland(a, b)));
  assert.deepEqual(problems, []);
  await page.close();
});

// The row height is the browser's business: fonts, zoom and window size vary, and a font
// that arrives after the first rows are shown changes it under a page already laid out.
test('every row shows whatever the row height, also when it changes after loading', async () => {
  const count = 4000;
  const file = writeSample(`large:${count}`);
  const expected = Array.from({ length: count },
    (_, i) => `pc${String((i * 7919) % count).padStart(7, '0')}`).sort();
  for (const [label, size, viewport] of [['larger, small window', '23px', [700, 300]],
    ['smaller, tall window', '9px', [1400, 1200]]]) {
    const { page, problems } = await openReport(file);
    await page.setViewportSize({ width: viewport[0], height: viewport[1] });
    await page.evaluate((s) => {
      const rule = document.createElement('style');
      rule.textContent = `#MAINTABLE td { font-size: ${s} }`;
      document.head.appendChild(rule);
    }, size);
    const rows = await scrollThrough(page);
    assert.deepEqual(rows.map((r) => r[0]), expected, label);
    assert.deepEqual(problems, []);
    await page.close();
  }
});

// Reports written by the tavrel binary itself against the slapd test directory: the
// end-to-end suite (tests/e2e/dhtml_test.py) holds these files byte-identical to its output.
const TAVREL_REPORTS = path.join(__dirname, '..', 'e2e', 'expected', 'dhtml');

test('a report run written by tavrel: rows, initial order, colours, escaped values', async () => {
  const { page, problems } = await openReport(path.join(TAVREL_REPORTS, 'report_sorted.htm'));
  assert.equal(await page.textContent('#XslResults .total'), 'Total Items Returned 5');
  // -sort cn makes sAMAccountName the page's initial order.
  assert.deepEqual(await column(page, 'sAMAccountName'),
    ['dc9$', 'pc&co$', 'pc-off$', 'pc-old1$', 'pc-old2$']);
  assert.deepEqual(await rowColours(page, 'cn'),
    { 'dc9': GREEN, 'pc&co': '', 'pc-off': RED, 'pc-old1': '', 'pc-old2': '' });
  assert.ok((await column(page, 'description')).includes('<script>alert("x")</script> & \'q\''));
  // Ages are zero-padded, a missing last logon gives -0001: still ordered by value.
  await clickHeader(page, 'lltsAge');
  assert.deepEqual(await column(page, 'lltsAge'), ['-0001', '-0001', '0000', '0166', '0301']);
  await clickHeader(page, 'lltsAge');
  assert.deepEqual(await column(page, 'lltsAge'), ['0301', '0166', '0000', '-0001', '-0001']);
  assert.deepEqual(problems, []);
  await page.close();
});

test('a modifying dry run written by tavrel: ACTION, RESULT and the run colours', async () => {
  const { page, problems } = await openReport(path.join(TAVREL_REPORTS, 'delete_dry.htm'));
  assert.equal(await page.textContent('#XslResults .total'), 'Total Items Returned 5');
  assert.deepEqual(await column(page, 'ACTION'),
    ['DC', 'SAFETY EXCEEDED', 'DELETE', 'DELETE', 'SAFETY EXCEEDED']);
  assert.deepEqual(await rowColours(page, 'cn'),
    { 'dc9': GREEN, 'pc&co': PURPLE, 'pc-off': '', 'pc-old1': ORANGE, 'pc-old2': PURPLE });
  await choose(page, 'RESULT');
  await clickHeader(page, 'ACTION');
  assert.deepEqual(await columnState(page, 'RESULT'),
    { cells: 6, hidden: 6, option: '(Hidden) RESULT', selected: '' });
  assert.deepEqual(await column(page, 'ACTION'),
    ['DC', 'DELETE', 'DELETE', 'SAFETY EXCEEDED', 'SAFETY EXCEEDED']);
  assert.deepEqual(problems, []);
  await page.close();
});

test('the page opens on the picture: its counts are those of the rows', async () => {
  const { page, problems } = await openReport(path.join(TAVREL_REPORTS, 'delete_dry.htm'));
  await page.setViewportSize({ width: 1400, height: 900 });
  const view = await page.evaluate(() => {
    const summary = document.querySelector('#XslResults > #TavrelSummary');
    const pairs = (id) => Array.from(document.querySelectorAll(`#${id} tr`),
      (r) => [r.cells[0].textContent, Number(r.cells[1].textContent)]);
    const right = (id) => Array.from(document.querySelectorAll('#MAINTABLE > thead td'))
      .find((c) => c.id === id).getBoundingClientRect().right;
    return {
      first: document.getElementById('XslResults').firstElementChild === summary,
      heading: summary.querySelector('h2').textContent,
      ages: Array.from(summary.querySelectorAll('svg rect'),
        (r) => [r.getAttribute('data-bucket'), Number(r.getAttribute('data-count'))]),
      systems: pairs('TavrelSystems'),
      outcomes: pairs('TavrelOutcomes'),
      settingsFolded: !document.querySelector('details').open &&
        document.querySelector('details td.description') !== null,
      resultRight: right('RESULT'),
      actionRight: right('ACTION'),
      width: document.documentElement.clientWidth,
      hover: Array.from(document.querySelectorAll('#MAINTABLE > tbody td'))
        .filter((c) => c.id === 'DN').every((c) => c.title === c.textContent),
    };
  });
  // The rows the reader sees, counted here the same way.
  const rows = (await column(page, 'cn')).length;
  const ages = (await column(page, 'pwage')).map(Number);
  const bucket = (a) => (a < 0 ? 5 : [90, 180, 365, 730, Infinity].findIndex((b) => a < b));
  const expectedAges = [0, 0, 0, 0, 0, 0];
  for (const a of ages) expectedAges[bucket(a)]++;
  const tally = (values) => {
    const counts = new Map();
    for (const v of values) counts.set(v, (counts.get(v) || 0) + 1);
    return counts;
  };
  assert.ok(view.first);
  assert.equal(view.heading, `${rows} accounts`);
  assert.deepEqual(view.ages.map((a) => a[1]), expectedAges);
  assert.deepEqual(new Map(view.systems),
    tally((await column(page, 'operatingSystem')).map((v) => v || '(none)')));
  // delete_dry, as its run counted them: the DC, the dry delete and the refused delete of an
  // enabled account skipped (the last coloured as an error), two beyond the safety limit.
  assert.deepEqual(view.outcomes, [['OK', 0], ['error', 0], ['skipped', 3],
    ['safety skipped', 2], ['not attempted', 0]]);
  assert.deepEqual(await column(page, 'RESULT'),
    ["Can't modify DC", 'ERROR', 'TEST', 'NOT DISABLED', 'ERROR']);
  assert.ok(view.settingsFolded);
  assert.ok(view.actionRight <= view.width && view.resultRight <= view.width, JSON.stringify(view));
  assert.ok(view.hover);
  await page.screenshot({ path: path.join(path.dirname(path.resolve(modulesDir)),
    'dhtml_summary.png'), fullPage: false });
  assert.deepEqual(problems, []);
  await page.close();
});

test('controls and invalid UTF-8 written by tavrel show as replacement characters', async () => {
  const { page, problems } = await openReport(path.join(TAVREL_REPORTS, 'raw_values.htm'));
  assert.equal(await page.textContent('#XslResults .total'), 'Total Items Returned 1');
  assert.deepEqual(await column(page, 'description'), ['bell\ufffd esc\ufffd tab\t end']);
  assert.deepEqual(await column(page, 'audio'),
    ['M\ufffdller\ufffd \ufffd \ufffd\ufffd\ufffd ok \u20ac']);
  assert.equal(await page.evaluate(() => document.characterSet), 'UTF-8');
  assert.deepEqual(problems, []);
  await page.close();
});

// Stands in for a browser with XML islands: the VBScript LoadIT (replayed in JavaScript) and
// transformNode exist before the page's script runs. The page must then neither build its
// own table nor replace `sort`, and `sort` must drive the style island as it always did.
function oldBrowser() {
  window.oldCalls = [];
  const orderBy = { nodeValue: 'DN' };
  const output = '<SELECT name="showHidden" ' +
    'onchange="Toggle(this,this.options[this.selectedIndex].value)">' +
    '<OPTION value="">x</OPTION><OPTION value="cn">cn</OPTION></SELECT>' +
    '<TABLE ID="MAINTABLE"><THEAD><TR><TD ID="cn" onClick="sort(\'cn\')">cn</TD></TR></THEAD>' +
    '<TBODY><TR><TD ID="cn">from the style island</TD>' +
    '<TD ID="COLOR" style="display:none">RED</TD></TR></TBODY></TABLE>';
  HTMLUnknownElement.prototype.transformNode = function transformNode() {
    window.oldCalls.push(`transform ${this.id} ${orderBy.nodeValue}`);
    return output;
  };
  Object.defineProperty(HTMLUnknownElement.prototype, 'XMLDocument', {
    get() {
      return { selectSingleNode(q) { window.oldCalls.push(`select ${q}`); return orderBy; } };
    },
  });
  Object.defineProperty(HTMLUnknownElement.prototype, 'documentElement', {
    get() { return this; },
  });
  window.LoadIT = function LoadIT() {
    XslResults.innerHTML = xmlSource.transformNode(xmlStyle.XMLDocument);
    FixColors('MAINTABLE');
  };
}

test('where transformNode exists the old path runs untouched', async () => {
  const { page, problems } = await openReport(writeSample('report'), oldBrowser);
  const loaded = await page.evaluate(() => ({
    calls: window.oldCalls.slice(),
    cells: Array.from(document.querySelectorAll('#XslResults td'), (c) => c.textContent),
    colour: document.querySelector('#XslResults tbody td').style.color,
    styleShown: getComputedStyle(document.getElementById('xmlStyle')).display !== 'none',
    sortSource: String(sort),
  }));
  assert.deepEqual(loaded.calls, ['transform xmlSource DN']);
  assert.deepEqual(loaded.cells, ['cn', 'from the style island', 'RED']);
  assert.equal(loaded.colour, 'red');
  assert.ok(loaded.styleShown);
  assert.match(loaded.sortSource, /transformNode/);

  await page.click('#XslResults thead td');
  await page.click('#XslResults thead td');
  await choose(page, 'cn');
  await page.evaluate(() => sort('cn'));
  const after = await page.evaluate(() => ({
    calls: window.oldCalls.slice(1),
    hidden: document.querySelector('#XslResults tbody td').style.display,
    option: document.querySelector('#XslResults option[value="cn"]').text,
  }));
  assert.deepEqual(after.calls, ['select //@order-by', 'transform xmlSource +cn',
    'select //@order-by', 'transform xmlSource -cn',
    'select //@order-by', 'transform xmlSource +cn']);
  assert.equal(after.hidden, 'none');
  assert.equal(after.option, '(Hidden) cn');
  assert.deepEqual(problems, []);
  await page.close();
});
