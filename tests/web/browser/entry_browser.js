// Drives Debian's Chromium through the worklist forms and the user pages:
// add an entry through the entry form, find it with the query page and with
// dcmtk's findscu, save it unchanged (findscu must answer the very same),
// edit it, set its status, fail to delete it as a GENERAL user, delete it as
// ADMIN; add a user, keep "admin" from deletion and from GENERAL rights.
// Usage: node entry_browser.js BASE_URL SCREENSHOT_DIR ADMIN_PASSWORD
// CLERK_PASSWORD DICOM_PORT. Exits 1 with the reason on any failure.
'use strict';
const { spawnSync } = require('child_process');
const { chromium } = require('playwright-core');
const { check, openAs, shot: shotIn, waitForPage, accessions, query } = require('./browser_helpers');

const [baseUrl, shots, adminPassword, clerkPassword, dicomPort] = process.argv.slice(2);
const LAST = 'M\u00dcLLER';  // sent and stored as the Windows-1252 byte 0xDC
const FIRST = "O'<b>&";      // a quote, markup and an ampersand, all as text
const DAY = '2024-03-15';
const shot = (page, name) => shotIn(page, shots, name);
const bodyText = (page) => page.textContent('body');

// findscu's answer for one accession number: the text of its responses (Latin-1) and their count.
function findscu(accession) {
  const args = ['-W', '-v', '-aet', 'E2E', '-aec', 'TARVELIN', '-k', '0008,0050=' + accession];
  for (const k of ['0010,0010', '0010,0020', '0010,0030', '0010,0040', '0008,0090', '0040,0100[0].0008,0060',
                   '0040,0100[0].0040,0002', '0040,0100[0].0040,0003', '0040,0100[0].0040,0007'])
    args.push('-k', k);
  const run = spawnSync('findscu', args.concat(['127.0.0.1', dicomPort]), { encoding: 'latin1', timeout: 30000 });
  const out = (run.stdout || '') + (run.stderr || '');  // dcmtk logs to standard error
  check(run.status === 0 && out.includes('Received Final Find Response (Success)'), 'findscu: ' + out);
  return { text: out.slice(out.indexOf('Find Response: 1 (Pending)')), pending: out.split('(Pending)').length - 1 };
}

// Each tag shows its value (DICOM pads odd lengths with a blank).
function expectValues(answer, values) {
  for (const [tag, value] of Object.entries(values)) {
    const line = answer.split('\n').find((l) => l.includes('(' + tag + ')')) || '';
    check(line.slice(line.indexOf('[') + 1, line.lastIndexOf(']')).replace(/ $/, '') === value, tag + ': ' + line);
  }
}

async function addEntry(page) {
  await page.goto(baseUrl + '/add2wl');
  await page.fill('input[name="PatientID"]', 'E2E-1');
  await page.click('#LastName');  // clears the LAST default
  await page.fill('#LastName', LAST);
  await page.click('#FirstName');
  await page.fill('#FirstName', FIRST);
  await page.fill('#PatientBD', '1970-03-15');
  await page.selectOption('select[name="PatientSex"]', 'F');
  await page.selectOption('select[name="Modality"]', 'MR');  // asks the server for the MR descriptions
  await page.waitForSelector('option[value="KNEE <L>"]', { state: 'attached', timeout: 10000 });
  await page.selectOption('select[name="ProcedureDescription"]', 'KNEE <L>');
  await page.selectOption('select[name="ReferringPhysician"]', 'DR^WHO');
  await page.fill('#StartDate', DAY);
  await page.selectOption('select[name="HOUR"]', '09');
  await page.selectOption('select[name="MINUTES"]', '40');
  await shot(page, '11-add-filled');
  await page.click('input[name="Submit"]');
  await page.waitForURL(/\/wlprocess$/);
  check((await bodyText(page)).includes('Added Worklist entry for Patient=' + LAST + '^' + FIRST), 'added');
}

async function findInGrid(page) {
  await page.goto(baseUrl + '/worklist');
  await query(page, LAST, DAY, DAY);
  await waitForPage(page, 'Page 1/1');
  const ids = await accessions(page);
  check(ids.length === 1 && ids[0].length === 16, 'one generated accession number: ' + ids);
  return ids[0];
}

// Edit from the grid: the form shows the stored values; `change` may alter them before Save.
async function editAndSave(page, change) {
  await findInGrid(page);
  await page.check('#result_wlquery input[name="CHECK"]');
  await page.click('#result_wlquery input[name="Edit"]');
  await page.waitForURL(/\/form_wlquery$/);
  const shown = await page.$$eval('#LastName, #FirstName, #PatientBD, select, #StartDate', (es) =>
    es.map((e) => e.value).join('|'));
  check(shown === [LAST, FIRST, '1970-03-15', 'F', 'MR', 'DR^WHO', 'KNEE <L>', DAY, '09', '40', 'SCHEDULED'].join('|'),
        'the edit form shows the entry: ' + shown);
  await change(page);
  await page.click('input[name="Save"]');
  await page.waitForURL(/\/edit_wlquery$/);
  check((await bodyText(page)).includes('Updated entry in Worklist'), 'saved');
}

async function worklistSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  await addEntry(page);
  const accession = await findInGrid(page);
  await shot(page, '12-found');
  const first = findscu(accession);
  check(first.pending === 1, 'findscu finds the entry once');
  expectValues(first.text, { '0010,0010': LAST + '^' + FIRST, '0010,0020': 'E2E-1', '0010,0030': '19700315',
                             '0010,0040': 'F', '0008,0090': 'DR^WHO', '0008,0060': 'MR', '0040,0002': '20240315',
                             '0040,0003': '094000', '0040,0007': 'KNEE <L>' });
  await editAndSave(page, async () => {});
  check(findscu(accession).text === first.text, 'an unchanged save keeps every value');
  await editAndSave(page, async (p) => p.selectOption('select[name="ProcedureDescription"]', 'SPINE'));
  expectValues(findscu(accession).text, { '0040,0007': 'SPINE', '0010,0010': LAST + '^' + FIRST });
  await shot(page, '13-edited');

  await page.goto(baseUrl + '/wlsetstatus?AccessionNumber=' + accession + '&SPSStatus=COMPLETED');
  check((await bodyText(page)).includes('Updated Worklist entry for Accession Number=' + accession), 'status set');
  check(findscu(accession).pending === 0, 'a COMPLETED entry leaves the worklist');
  check(page.problems.length === 0, page.problems.join('; '));
  return accession;
}

// Ticks the only row of the grid and presses Delete (a GENERAL user's grid has
// none: the button is added to the page, as a hand-made request would be).
async function deleteAs(page, accession) {
  check((await findInGrid(page)) === accession, 'the entry is still there');
  await page.check('#result_wlquery input[name="CHECK"]');
  await page.evaluate(() => {
    const form = document.querySelector('#querypage');
    if (form.querySelector('input[name="Delete"]')) return;
    form.appendChild(Object.assign(document.createElement('input'), { type: 'submit', name: 'Delete', value: 'Delete' }));
  });
  await page.click('#querypage input[name="Delete"]');
  await page.waitForURL(/\/form_wlquery$/);
  return bodyText(page);
}

async function loginStatus(browser, username, password) {
  const context = await browser.newContext({ httpCredentials: { username, password } });
  const status = (await (await context.newPage()).goto(baseUrl + '/index.htm')).status();
  await context.close();
  return status;
}

// The user grid (all users), with the rows of `names` ticked.
async function userGrid(page, names) {
  await page.goto(baseUrl + '/UserQuery');
  await page.click('input[name="Query"]');
  await page.waitForSelector('#result_users input[name="CHECK"]', { timeout: 10000 });
  const listed = await page.$$eval('#result_users input[name="UserName"]', (es) => es.map((e) => e.value));
  for (const name of names) await page.locator('#result_users input[name="CHECK"]').nth(listed.indexOf(name)).check();
  return page.$$eval('#result_users input[name="PassWord"]', (es) => es.map((e) => e.value));
}

async function userSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  await page.goto(baseUrl + '/UserQuery');
  await page.fill('input[name="UserName"]', 'nurse');
  await page.fill('input[name="PassWord"]', 'Nurse pw1');
  await page.click('input[name="AddNew"]');
  await page.waitForFunction(() => document.querySelector('#result_users').textContent.includes('Added new entry'));
  check((await loginStatus(browser, 'nurse', 'Nurse pw1')) === 200, 'the new user logs in');
  const passwords = await userGrid(page, ['admin']);
  check(passwords.join() === '********,********,********', 'no password shown: ' + passwords);
  await shot(page, '21-users');
  await page.click('#result_users input[name="Edit"]');
  await page.waitForURL(/\/form_users$/);
  check((await page.inputValue('input[name="PassWord"]')) === '', 'the password box starts empty');
  await page.selectOption('select[name="Rights"]', '0');
  await page.click('input[name="Save"]');
  await page.waitForURL(/\/edit_users$/);
  check((await bodyText(page)).includes('ERROR, cannot change admin rights'), 'admin stays ADMIN');

  await userGrid(page, ['admin', 'nurse']);
  await page.click('#result_users input[name="Delete"]');
  await page.waitForURL(/\/form_users$/);
  const text = await bodyText(page);
  check(text.includes("ERROR, Can't delete admin user") && text.includes('Deleted entry nurse from users'), text);
  await shot(page, '22-users-deleted');
  check((await loginStatus(browser, 'nurse', 'Nurse pw1')) === 401, 'the deleted user is refused at once');
  check((await loginStatus(browser, 'admin', adminPassword)) === 200, 'admin still logs in');
  check(page.problems.length === 0, page.problems.join('; '));
}

(async () => {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  try {
    const accession = await worklistSession(browser);
    const clerk = await openAs(browser, 'clerk', clerkPassword);
    check((await deleteAs(clerk, accession)).includes('ERROR, deleting entries needs ADMIN rights'), 'GENERAL refused');
    const admin = await openAs(browser, 'admin', adminPassword);
    check((await deleteAs(admin, accession)).includes('Deleted entry ' + accession + ' from Worklist'), 'ADMIN deletes');
    await shot(admin, '14-deleted');
    check(clerk.problems.length + admin.problems.length === 0, clerk.problems.concat(admin.problems).join('; '));
    await userSession(browser);
  } finally {
    await browser.close();
  }
  console.log('entry form browser checks passed');
})().catch((e) => {
  console.error('FAILED: ' + e.message);
  process.exit(1);
});
