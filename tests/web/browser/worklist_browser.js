// Drives Debian's Chromium through the worklist list as ADMIN and GENERAL
// users: today's entries by start time, sorting, every filter (a lowercase
// non-ASCII family name too), count, page size, reload and Back; the
// keyboard; a page of another local origin that tries to delete and
// discontinue entries; log out and back in; wrong passwords until the wait is long, then the
// right one. Usage: node worklist_browser.js BASE_URL SCREENSHOT_DIR
// ADMIN_PASSWORD CLERK_PASSWORD TODAY TOMORROW. Exits 1 with the reason on any failure.
'use strict';
const http = require('http');
const { chromium } = require('playwright-core');
const { check, openAs, visit, usDate } = require('./browser_helpers');

const [baseUrl, shots, adminPassword, clerkPassword, today, tomorrow] = process.argv.slice(2);

const countText = (page) => page.textContent('#count');
const rows = (page) => page.$$eval('table.list tbody tr', (trs) => trs.map((tr) =>
  Array.from(tr.querySelectorAll('td')).map((td) => td.textContent.trim())));
// The accession numbers of the rows (the column after Sex; ADMIN rows start with a check box).
async function keys(page) {
  const admin = (await page.$$('table.list tbody input[type="checkbox"]')).length > 0;
  return (await rows(page)).map((r) => r[admin ? 6 : 5]);
}
async function show(page) {
  await Promise.all([page.waitForNavigation(), page.click('form.filters button[type="submit"]')]);
}

// Clicks what leads to another page and waits for it.
async function follow(page, selector) {
  await Promise.all([page.waitForNavigation(), page.click(selector)]);
}

async function listSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  await page.goto(baseUrl + '/');
  check((await page.textContent('h1')).includes('Worklist WEB Server - admin'), 'index page heading');
  check(await page.$eval('img[src="javascript/card.png"]', (i) => i.naturalWidth > 0), 'card.png shows');
  await visit(page, shots, '01-index');
  // Every way on is a real link the keyboard reaches.
  const reached = [];
  for (let i = 0; i < 8; ++i) {
    await page.keyboard.press('Tab');
    reached.push(await page.evaluate(() => document.activeElement.tagName + ':' + document.activeElement.textContent.trim()));
  }
  check(reached[0] === 'A:Skip to content' && reached.includes('A:Query Worklist') && reached.includes('A:Log out'),
        'keyboard order: ' + reached);

  await page.click('text=Query Worklist');
  await page.waitForURL(/\/worklist$/);
  check((await countText(page)) === '38 entries', 'today: ' + (await countText(page)));
  const first = await rows(page);
  // Dates as the date inputs show them: one date form on the screen.
  check(first[0][1] === usDate(today) + ' 07:15' && first[1][1] === usDate(today) + ' 07:30' && first.length === 25,
        'today by start time: ' + first[0]);
  check((await page.$$('table.list input[type="text"], table.list input:not([type])')).length === 0, 'nothing to type into');
  await visit(page, shots, '02-worklist');

  // Sorting by a heading, and back the other way.
  await follow(page, 'table.list th a:has-text("Accession")');
  check(page.url().includes('Sort=accession') && (await keys(page))[0] === 'M1', 'by accession: ' + (await keys(page))[0]);
  await follow(page, 'table.list th a:has-text("Accession")');
  check((await keys(page))[0] === 'Z1', 'by accession, descending: ' + (await keys(page))[0]);

  const filters = [
    [{ Status: 'IN PROGRESS' }, '1 entry'],
    [{ Modality: 'RF' }, '1 entry'],            // a code that is stored, not in any fixed list
    [{ Station: 'CT02' }, '15 entries'],
    [{ LastName: 'm\u00fcller' }, '7 entries'],  // typed in lower case, with its accent
    [{ LastName: 'muller' }, 'no entries'],      // accents as typed
    [{ FirstName: 'otto' }, '3 entries'],        // a given name alone
    [{ DateTo: tomorrow }, '40 entries'],
  ];
  for (const [values, expected] of filters) {
    await page.goto(baseUrl + '/worklist');
    for (const [name, value] of Object.entries(values)) {
      if (await page.$('select[name="' + name + '"]')) await page.selectOption('select[name="' + name + '"]', value);
      else await page.fill('input[name="' + name + '"]', value);
    }
    await show(page);
    check((await countText(page)) === expected, JSON.stringify(values) + ': ' + (await countText(page)));
  }
  await visit(page, shots, '03-worklist-filtered');

  // Page size and pages live in the address: reload and Back show the same list.
  await page.goto(baseUrl + '/worklist');
  await page.selectOption('#PageSize', '10');
  await show(page);
  check((await page.textContent('nav.pages')).includes('Page 1 of 4'), 'ten a page');
  await follow(page, 'nav.pages a:has-text("Next")');
  const second = await keys(page);
  await page.reload();
  check(JSON.stringify(await keys(page)) === JSON.stringify(second) && page.url().includes('Page=2'), 'reload keeps page 2');
  await page.goBack();
  check((await page.textContent('nav.pages')).includes('Page 1 of 4'), 'Back shows page 1 again');
  check((await page.inputValue('#PageSize')) === '10', 'the filter form shows the address');

  // A stored name full of markup shows as text and runs nothing.
  await page.goto(baseUrl + '/worklist?LastName=ZZ');
  check((await rows(page))[0][2].startsWith('ZZ<img src=x onerror="window.pwned=1">'), 'hostile name shown as text');
  check(await page.evaluate(() => window.pwned === undefined), 'no script ran from a stored value');
  // A row opens the entry the server finds by its key.
  await page.goto(baseUrl + '/worklist?LastName=doe&FirstName=patient0');
  await follow(page, 'table.list a:has-text("DOE^PATIENT07")');
  check((await page.inputValue('#PatientID')) === 'IDT07', 'the row opened its own entry');
  check(page.problems.length === 0, page.problems.join('; '));
  await page.context().close();
}

async function clerkSession(browser) {
  const page = await openAs(browser, 'clerk', clerkPassword);
  await page.goto(baseUrl + '/worklist');
  check(!(await page.isVisible('nav >> text=Users')), 'a GENERAL user has no Users link');
  check((await page.$$('table.list input[type="checkbox"]')).length === 0, 'nothing to delete for GENERAL');
  check((await countText(page)) === '38 entries', 'the same list');
  await visit(page, shots, '04-worklist-general');
  check(page.problems.length === 0, page.problems.join('; '));
  await page.context().close();
}

// A page of another local origin: an auto-sent form that deletes, a link that discontinues.
function attackerSite() {
  const attack = `<!DOCTYPE html><html lang="en"><head><title>Prize</title></head><body>
<form id="f" method="post" action="${baseUrl}/form_wlquery"><input name="AccessionNumber" value="T01">
<input name="Delete" value="Delete"><input name="Confirm" value="yes"></form>
<a id="l" href="${baseUrl}/wlsetstatus?AccessionNumber=T02&SPSStatus=DISCONTINUED">win</a>
<script>if (location.search !== '?stay') document.getElementById('f').submit();</script></body></html>`;
  const server = http.createServer((req, res) => res.end(attack));
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function crossSiteSession(browser) {
  const site = await attackerSite();
  const other = 'http://127.0.0.1:' + site.address().port + '/';
  const page = await openAs(browser, 'admin', adminPassword);
  await page.goto(baseUrl + '/worklist');  // logged in
  const sent = page.waitForResponse((r) => r.url().endsWith('/form_wlquery'));
  await page.goto(other);
  check((await sent).status() === 403, 'the auto-sent form is refused');
  await page.waitForURL(/form_wlquery/);
  await visit(page, shots, '05-refused');
  await page.goto(other + '?stay');
  const [link] = await Promise.all([page.waitForNavigation(), page.click('#l')]);
  check(link.status() === 403, 'the link is refused: ' + link.status());
  page.problems.length = 0;  // those two 403s were the point
  await page.goto(baseUrl + '/worklist?PatientID=IDT01');
  check((await countText(page)) === '1 entry', 'T01 is still there');
  await page.goto(baseUrl + '/worklist?PatientID=IDT02');
  check((await rows(page))[0].includes('SCHEDULED'), 'T02 is still scheduled');
  check(page.problems.length === 0, page.problems.join('; '));
  site.close();
  await page.context().close();
}

// The login the browser keeps (from an address with credentials) ends with Log out.
async function logoutSession(browser) {
  const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await context.newPage();
  const withLogin = baseUrl.replace('://', '://admin:' + encodeURIComponent(adminPassword) + '@');
  check((await page.goto(withLogin + '/')).status() === 200, 'logged in');
  check((await page.goto(baseUrl + '/worklist')).status() === 200, 'the browser keeps the login');
  await follow(page, 'text=Log out');
  check((await page.textContent('h1')) === 'Logged out', 'logged out page');
  await visit(page, shots, '06-logged-out');
  let refused = false;
  try {
    refused = (await page.goto(baseUrl + '/worklist')).status() === 401;
  } catch (e) {
    refused = /ERR_INVALID_AUTH_CREDENTIALS/.test(e.message);  // asked for a login the test cannot type
  }
  check(refused, 'after Log out the list needs a login again');
  // A new tab of the same browser: the refused page may still be turning into
  // Chromium's error page, which would interrupt a navigation in its tab.
  const again = await context.newPage();
  check((await again.goto(withLogin + '/')).status() === 200, 'logged in again');
  check((await again.goto(baseUrl + '/worklist')).status() === 200, 'and kept again');
  await context.close();
}

// A browser context that logs in with `password`; its pages are made
// beforehand, so the attempts themselves follow each other quickly.
async function loginWith(browser, password) {
  const context = await browser.newContext({ httpCredentials: { username: 'admin', password } });
  const page = await context.newPage();
  return async () => {
    const answer = await page.goto(baseUrl + '/index.htm');
    const result = { status: answer.status(), text: await page.textContent('body') };
    await context.close();
    return result;
  };
}

// Last, as it locks this address for a while.
async function guessingSession(browser) {
  // Five wrong passwords are free; then each one that is looked at doubles the
  // wait, and one that comes too soon is not looked at (429). An attempt told
  // to wait a short time waits it out, so the count keeps growing however slow
  // the machine is, until the wait is long enough that the right password,
  // sent at once, certainly comes too soon.
  const secondsIn = (text) => Number((/Try again in (\d+) seconds/.exec(text) || [])[1]);
  const statuses = [];
  let wait = 0;
  while (wait < 8 && statuses.length < 20) {
    const answer = await (await loginWith(browser, 'wrong' + statuses.length))();
    statuses.push(answer.status);
    if (answer.status !== 429) continue;
    wait = secondsIn(answer.text);
    check(wait >= 1 && wait <= 60, 'the wait is said: ' + answer.text);
    if (wait < 8) await new Promise((resolve) => setTimeout(resolve, wait * 1000 + 300));
  }
  check(statuses.slice(0, 5).every((s) => s === 401) && statuses.slice(5).every((s) => s === 401 || s === 429) &&
        wait >= 8, 'wrong passwords: ' + statuses);
  const locked = await (await loginWith(browser, adminPassword))();
  check(locked.status === 429, 'the right password waits too: ' + locked.status);
  const seconds = secondsIn(locked.text);
  check(seconds >= 1 && seconds <= 60, 'the wait is said: ' + locked.text);
  await new Promise((resolve) => setTimeout(resolve, seconds * 1000 + 300));
  check((await (await loginWith(browser, adminPassword))()).status === 200, 'the lock ended by itself');
}

(async () => {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  try {
    await listSession(browser);
    await clerkSession(browser);
    await crossSiteSession(browser);
    await logoutSession(browser);
    await guessingSession(browser);
  } finally {
    await browser.close();
  }
  console.log('browser checks passed');
})().catch((e) => {
  console.error('FAILED: ' + e.message);
  process.exit(1);
});
