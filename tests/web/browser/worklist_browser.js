// Drives Debian's Chromium through the web administration as an ADMIN and a
// GENERAL user: log in, query the worklist by name prefix and date range,
// page forward and back, and check what each may see. Saves a screenshot of
// every page. Usage: node worklist_browser.js BASE_URL SCREENSHOT_DIR
//   ADMIN_PASSWORD CLERK_PASSWORD. Exits 1 with the reason on any failure.
'use strict';
const { chromium } = require('playwright-core');
const { check, openAs, shot: shotIn, waitForPage, accessions, query } = require('./browser_helpers');

const [baseUrl, shots, adminPassword, clerkPassword] = process.argv.slice(2);

async function shot(page, name) {
  await shotIn(page, shots, name);
}

async function resultText(page) {
  return page.$eval('#result_wlquery', (e) => e.textContent);
}

async function adminSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  await page.goto(baseUrl + '/');
  check((await page.textContent('h2')).includes('Worklist WEB Server - admin'), 'index page heading');
  check(await page.isVisible('text=Manage Users'), 'an ADMIN sees Manage Users');
  check(await page.$eval('img[src="javascript/card.png"]', (i) => i.naturalWidth > 0), 'card.png shows');
  await shot(page, '01-index-admin');

  await page.click('text=Query Worklist');
  await page.waitForURL(/\/worklist$/);
  check((await page.title()) === 'Worklist Query', 'worklist page title');
  await shot(page, '02-worklist-form');

  await query(page, 'DOE', '2024-03-01', '2024-03-20');
  await waitForPage(page, 'Page 1/3');
  let ids = await accessions(page);
  check(ids.length === 10 && ids[0] === 'D01' && ids[9] === 'D10', 'page 1 rows: ' + ids);
  check(await page.isVisible('#result_wlquery input[name="Delete"]'), 'an ADMIN sees Delete');
  check(await page.isVisible('#result_wlquery input[name="Edit"]'), 'Edit is shown');
  await shot(page, '03-query-page1');

  await page.click('#result_wlquery td:has-text("Next")');
  await waitForPage(page, 'Page 2/3');
  ids = await accessions(page);
  check(ids[0] === 'D11' && ids.length === 10, 'page 2 rows: ' + ids);
  await page.click('#result_wlquery td:has-text("Next")');
  await waitForPage(page, 'Page 3/3');
  ids = await accessions(page);
  check(ids.length === 5 && ids[4] === 'D25', 'page 3 rows: ' + ids);
  await shot(page, '04-query-page3');
  await page.click('#result_wlquery td:has-text("Next")');  // stays on the last page
  await page.waitForTimeout(300);
  await waitForPage(page, 'Page 3/3');
  await page.click('#result_wlquery td:has-text("Previous")');
  await waitForPage(page, 'Page 2/3');
  check((await accessions(page))[0] === 'D11', 'back on page 2');
  await page.click('input[name="Query"]');  // a new query starts at the first page
  await waitForPage(page, 'Page 1/3');

  // A stored name full of markup shows as text and runs nothing.
  await query(page, 'ZZ', '2024-03-01', '2024-03-20');
  await waitForPage(page, 'Page 1/1');
  const name = await page.$eval('#result_wlquery input[name="PatientName"]', (e) => e.value);
  check(name === 'ZZ<img src=x onerror="window.pwned=1">^HACK', 'hostile name shown as text: ' + name);
  check(await page.evaluate(() => window.pwned === undefined), 'no script ran from a stored value');
  await shot(page, '05-query-hostile-name');

  await page.click('input[name="Reset"]');
  check((await resultText(page)) === '', 'Reset empties the result box');
  check(page.problems.length === 0, page.problems.join('; '));
}

async function clerkSession(browser) {
  const page = await openAs(browser, 'clerk', clerkPassword);
  await page.goto(baseUrl + '/');
  check((await page.textContent('h2')).includes('Worklist WEB Server - clerk'), 'clerk heading');
  check(!(await page.isVisible('text=Manage Users')), 'a GENERAL user has no Manage Users');
  await shot(page, '06-index-general');
  await page.goto(baseUrl + '/worklist');
  check(!(await page.isVisible('text=Users')), 'a GENERAL user has no Users in the bar');
  await query(page, 'SMITH', '2024-03-01', '2024-03-20');
  await waitForPage(page, 'Page 1/1');
  check((await accessions(page)).length === 2, 'two SMITH entries');
  check(await page.isVisible('#result_wlquery input[name="Edit"]'), 'Edit for GENERAL');
  check((await page.$$('#result_wlquery input[name="Delete"]')).length === 0, 'no Delete for GENERAL');
  await shot(page, '07-query-general');
  check(page.problems.length === 0, page.problems.join('; '));
}

(async () => {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  try {
    await adminSession(browser);
    await clerkSession(browser);
  } finally {
    await browser.close();
  }
  console.log('browser checks passed');
})().catch((e) => {
  console.error('FAILED: ' + e.message);
  process.exit(1);
});
