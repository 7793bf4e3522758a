// What the browser scripts share: a failed check ends the run with its
// reason; pages fail on any script error, HTTP error or Content-Security-
// Policy report; every page visited is checked by axe-core and
// photographed at 1366 and 390 pixels wide.
'use strict';
const fs = require('fs');
const path = require('path');

const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

function check(condition, message) {
  if (!condition) throw new Error(message);
}

// A logged-in page that records any script error, any failed request (the
// browser's own favicon probe aside) and any content the page's policy blocked.
async function openAs(browser, username, password) {
  const context = await browser.newContext({ httpCredentials: { username, password }, ignoreHTTPSErrors: true,
                                             viewport: { width: 1366, height: 768 }, locale: 'en-US' });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push('script error: ' + e.message));
  page.on('console', (m) => {
    if (/Content Security Policy|Refused to/.test(m.text())) problems.push('policy: ' + m.text());
  });
  page.on('response', (r) => {
    if (r.status() >= 400 && !r.url().endsWith('/favicon.ico')) problems.push(r.status() + ' for ' + r.url());
  });
  page.problems = problems;
  return page;
}

// axe-core's serious and critical findings on the page as it is now. It is
// run through the debugging protocol, which the page's policy does not
// restrict, so the page keeps its policy while checked.
async function accessibilityProblems(page) {
  await page.evaluate(axeSource + '\n;0');
  const result = await page.evaluate(() => axe.run(document, { resultTypes: ['violations'] }));
  return result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => v.id + ' (' + v.nodes.map((n) => n.target.join(' ')).slice(0, 3).join(', ') + ')');
}

// Checks the page with axe-core and saves it at both widths as NAME-1366.png and NAME-390.png.
async function visit(page, folder, name) {
  const found = await accessibilityProblems(page);
  check(found.length === 0, name + ': accessibility: ' + found.join('; '));
  const size = page.viewportSize();
  for (const width of [1366, 390]) {
    await page.setViewportSize({ width, height: width === 390 ? 844 : 768 });
    await page.screenshot({ path: path.join(folder, name + '-' + width + '.png'), fullPage: true });
    if (width === 390) {
      // Nothing but the list tables may need sideways scrolling on a phone.
      const wide = await page.evaluate(() => document.documentElement.scrollWidth);
      check(wide <= 390, name + ': the page is ' + wide + ' px wide at 390');
    }
  }
  await page.setViewportSize(size);
}

// yyyy-mm-dd as the en-US browser's date inputs show it (mm/dd/yyyy).
function usDate(iso) {
  const [year, month, day] = iso.split('-');
  return month + '/' + day + '/' + year;
}

module.exports = { check, openAs, visit, accessibilityProblems, usDate };
