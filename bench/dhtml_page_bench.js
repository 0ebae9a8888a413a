// SPDX-License-Identifier: Apache-2.0
'use strict';
// Times a dynamic HTML report in headless Chromium: how long until its first rows are shown,
// a header click (ascending, then descending) until the next frame, and the renderer's peak
// memory. Prints one JSON line. Driven by bench/bench.py.
//
// Usage: node dhtml_page_bench.js <node_modules folder> <page file> <sort column>

const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const [modulesDir, file, field] = process.argv.slice(2);
const { chromium } = require(path.resolve(modulesDir, 'playwright-core'));

// Renderers are descendants of the browser this script started (through its zygote); VmHWM
// is a process's peak resident size.
function parentOf(pid) {
  return Number(/PPid:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, 'latin1'))[1]);
}

function rendererPeakMiB() {
  let peak = 0;
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      if (!fs.readFileSync(`/proc/${pid}/cmdline`, 'latin1').includes('--type=renderer')) continue;
      let ancestor = Number(pid);
      for (let i = 0; i < 6 && ancestor > 1 && ancestor !== process.pid; i++) {
        ancestor = parentOf(ancestor);
      }
      if (ancestor !== process.pid) continue;
      const status = fs.readFileSync(`/proc/${pid}/status`, 'latin1');
      peak = Math.max(peak, Number(/VmHWM:\s+(\d+)/.exec(status)[1]) / 1024);
    } catch (e) { /* the process ended meanwhile */ }
  }
  return peak;
}

// Installed before the page's own script: notes the first animation frame at which the main
// table has a data row.
function watchRows() {
  window.benchShown = null;
  function frame() {
    const body = document.querySelector('#XslResults #MAINTABLE > tbody');
    if (body && body.rows.length > 0) {
      window.benchShown = performance.now();
      return;
    }
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);
}

async function main() {

  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const result = {};
  try {
    const page = await browser.newPage();
    await page.addInitScript(watchRows);
    await page.goto(pathToFileURL(path.resolve(file)).href, { timeout: 600000 });
    await page.waitForFunction(() => window.benchShown != null, null,
      { timeout: 600000, polling: 200 });
    result.shown_s = await page.evaluate(() => window.benchShown / 1000);
    for (const direction of ['asc', 'desc']) {
      result[`sort_${direction}_s`] = await page.evaluate(async (f) => {
        const start = performance.now();
        document.querySelector(`#XslResults #MAINTABLE > thead td[id="${f}"]`).click();
        document.body.offsetHeight;  // the layout the click caused
        await new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0)));
        return (performance.now() - start) / 1000;
      }, field);
    }
    result.renderer_peak_mib = rendererPeakMiB();
  } finally {
    await browser.close();

  }
  console.log(JSON.stringify(result));
}

main().catch((e) => { console.error(e); process.exit(1); });
