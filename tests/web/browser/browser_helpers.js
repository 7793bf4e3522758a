// What the browser scripts share: a failed check ends the run with its
// reason, pages fail on any script error or HTTP error, screenshots of
// every step.
'use strict';
const path = require('path');

function check(condition, message) {
  if (!condition) throw new Error(message);
}

// Opens a logged-in page that fails the run on any script error or any
// failed request (the browser's own favicon probe aside).
async function openAs(browser, username, password) {
  const context = await browser.newContext({ httpCredentials: { username, password }, ignoreHTTPSErrors: true });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push('script error: ' + e.message));
  page.on('response', (r) => {
    if (r.status() >= 400 && !r.url().endsWith('/favicon.ico')) problems.push(r.status() + ' for ' + r.url());
  });
  page.problems = problems;
  return page;
}

async function shot(page, folder, name) {
  await page.screenshot({ path: path.join(folder, name + '.png'), fullPage: true });
}

// The worklist query page: wait for a result grid label, read its accession
// numbers, and send a query by last name and date range.
async function waitForPage(page, label) {
  await page.waitForFunction((l) => document.querySelector('#result_wlquery').textContent.includes(l), label,
                             { timeout: 10000 });
}

async function accessions(page) {
  return page.$$eval('#result_wlquery input[name="AccessionNumber"]', (es) => es.map((e) => e.value));
}

async function query(page, last, from, to) {
  await page.click('#LastName');  // clears the LAST default
  await page.fill('#LastName', last);
  await page.click('#FirstName');
  await page.fill('#DateFrom', from);
  await page.fill('#DateTo', to);
  await page.click('input[name="Query"]');
}

module.exports = { check, openAs, shot, waitForPage, accessions, query };
