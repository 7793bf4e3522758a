// Types patients' names of three scripts into the add form of Debian's
// Chromium and a Cyrillic password into the user page: the pages are UTF-8,
// the list shows each name as typed, and the user logs in with exactly that
// password (not with "?" in its place). Prints one line "ACCESSION NAME" per
// entry added. Usage: node charset_browser.js BASE_URL ADMIN_PASSWORD
// FAMILY^GIVEN... Exits 1 with the reason on any failure.
'use strict';
const { chromium } = require('playwright-core');
const { check, openAs } = require('./browser_helpers');

const [baseUrl, adminPassword, ...names] = process.argv.slice(2);
const DAY = '2024-03-15';
const CYRILLIC_USER = 'лаборант';
const CYRILLIC_PASSWORD = 'Пароль-секрет-42';

async function follow(page, selector) {
  await Promise.all([page.waitForNavigation(), page.click(selector)]);
}

async function addEntry(page, name, n) {
  const [family, given] = name.split('^');
  await page.goto(baseUrl + '/add2wl');
  check((await page.$eval('meta[charset]', (m) => m.getAttribute('charset'))) === 'UTF-8', 'the page says UTF-8');
  check(await page.evaluate(() => document.characterSet === 'UTF-8'), 'the browser reads the page as UTF-8');
  check((await page.getAttribute('form.entry', 'accept-charset')) === 'UTF-8', 'the form posts UTF-8');
  await page.fill('#PatientID', 'CS-' + n);
  await page.fill('#LastName', family);
  await page.fill('#FirstName', given);
  await page.fill('#PatientBD', '1970-03-15');
  await page.selectOption('#PatientSex', 'F');
  await page.selectOption('#Modality', 'CT');
  await page.fill('#StartDate', DAY);
  await follow(page, 'button[name="Submit"]');
  const message = await page.textContent('.message');
  check(message.startsWith('Added entry '), name + ': ' + message);
  check((await page.textContent('main')).includes(name), 'the list shows ' + name + ' as typed');
  return message.replace('Added entry ', '');
}

async function loginStatus(browser, username, password) {
  const context = await browser.newContext({ httpCredentials: { username, password } });
  const status = (await (await context.newPage()).goto(baseUrl + '/index.htm')).status();
  await context.close();
  return status;
}

async function cyrillicUser(browser, page) {
  await page.goto(baseUrl + '/UserQuery');
  await page.fill('#UserName', CYRILLIC_USER);
  await page.fill('#PassWord', CYRILLIC_PASSWORD);
  await follow(page, 'button[name="AddNew"]');
  check((await page.textContent('.message')) === 'Added user ' + CYRILLIC_USER, 'added the Cyrillic user');
  check((await loginStatus(browser, CYRILLIC_USER, CYRILLIC_PASSWORD)) === 200, 'the Cyrillic password logs in');
  check((await loginStatus(browser, CYRILLIC_USER, '?'.repeat(CYRILLIC_PASSWORD.length))) === 401,
        'question marks in its place do not');
}

(async () => {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  try {
    const page = await openAs(browser, 'admin', adminPassword);
    for (let n = 0; n < names.length; ++n) console.log(await addEntry(page, names[n], n) + ' ' + names[n]);
    await cyrillicUser(browser, page);
    check(page.problems.length === 0, page.problems.join('; '));
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error('FAILED: ' + e.message);
  process.exit(1);
});
