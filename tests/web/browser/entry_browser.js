// Drives Debian's Chromium through the worklist forms and the user pages:
// add an entry through the entry form, find it with the query page and with
// dcmtk's findscu, save it unchanged (findscu must answer the very same),
// edit it, set its status, fail to delete it as a GENERAL user, delete it as
// ADMIN, and add, refuse and remove users. Usage: node entry_browser.js
// BASE_URL SCREENSHOT_DIR ADMIN_PASSWORD CLERK_PASSWORD DICOM_PORT.
// Exits 1 with the reason on any failure.
'use strict';
const { spawnSync } = require('child_process');
const { chromium } = require('playwright-core');
const { check, openAs, shot: shotIn, waitForPage, accessions, query } = require('./browser_helpers');

const [baseUrl, shots, adminPassword, clerkPassword, dicomPort] = process.argv.slice(2);
const LAST = 'M\u00dcLLER';         // stored as the Windows-1252 byte 0xDC
const FIRST = "O'<b>&";             // a quote, markup and an ampersand, all as text
const DAY = '2024-03-15';

async function shot(page, name) {
  await shotIn(page, shots, name);
}

// The worklist answer for one accession number as dcmtk's findscu prints it
// (the values as Latin-1 text), the pending responses counted.
function findscu(accession) {
  const keys = ['0008,0050=' + accession, '0010,0010', '0010,0020', '0010,0030', '0010,0040', '0008,0090',
                '0040,0100[0].0008,0060', '0040,0100[0].0040,0002', '0040,0100[0].0040,0003',
                '0040,0100[0].0040,0007', '0040,0100[0].0040,0001'];
  const args = ['-W', '-v', '-aet', 'E2E', '-aec', 'TARVELIN'];
  for (const k of keys) args.push('-k', k);
  args.push('127.0.0.1', dicomPort);
  // dcmtk logs to standard error.
  const run = spawnSync('findscu', args, { encoding: 'latin1', timeout: 30000 });
  const out = (run.stdout || '') + (run.stderr || '');
  check(run.status === 0, 'findscu exit ' + run.status + ': ' + out);
  check(out.includes('Received Final Find Response (Success)'), 'findscu succeeded: ' + out);
  const pending = out.split('Find Response: ').slice(1).filter((r) => /^\d+ \(Pending\)/.test(r)).length;
  return { text: out.slice(out.indexOf('Find Response: 1 (Pending)')), pending };
}

// The value findscu shows for `tag` is `value` (DICOM pads odd lengths with a blank).
function expectValue(answer, tag, value) {
  const line = answer.split('\n').find((l) => l.includes('(' + tag + ')')) || '';
  const shown = line.slice(line.indexOf('[') + 1, line.lastIndexOf(']')).replace(/ $/, '');
  check(shown === value, tag + ' is ' + value + ': ' + line);
}

async function bodyText(page) {
  return page.textContent('body');
}

async function addEntry(page) {
  await page.goto(baseUrl + '/add2wl');
  check((await page.title()) === 'Add to Worklist', 'add page title');
  await page.fill('input[name="PatientID"]', 'E2E-1');
  await page.click('#LastName');  // clears the LAST default
  await page.fill('#LastName', LAST);
  await page.click('#FirstName');
  await page.fill('#FirstName', FIRST);
  await page.fill('#PatientBD', '1970-03-15');
  await page.selectOption('select[name="PatientSex"]', 'F');
  // Choosing MR asks the server for the MR descriptions.
  await page.selectOption('select[name="Modality"]', 'MR');
  await page.waitForSelector('select[name="ProcedureDescription"] option[value="KNEE <L>"]',
                             { state: 'attached', timeout: 10000 });
  await page.selectOption('select[name="ProcedureDescription"]', 'KNEE <L>');
  await page.selectOption('select[name="ReferringPhysician"]', 'DR^WHO');
  await page.fill('#StartDate', DAY);
  await page.selectOption('select[name="HOUR"]', '09');
  await page.selectOption('select[name="MINUTES"]', '40');
  await shot(page, '11-add-filled');
  await page.click('input[name="Submit"]');
  await page.waitForURL(/\/wlprocess$/);
  check((await bodyText(page)).includes('Added Worklist entry for Patient=' + LAST + '^' + FIRST),
        'added: ' + (await bodyText(page)));
  await shot(page, '12-added');
}

async function findInGrid(page) {
  await page.goto(baseUrl + '/worklist');
  await query(page, LAST, DAY, DAY);
  await waitForPage(page, 'Page 1/1');
  const ids = await accessions(page);
  check(ids.length === 1 && /^2403|^\d{10}/.test(ids[0]) && ids[0].length <= 16, 'one generated accession: ' + ids);
  return ids[0];
}

async function editSaved(page, change) {
  await page.check('#result_wlquery input[name="CHECK"]');
  await page.click('#result_wlquery input[name="Edit"]');
  await page.waitForURL(/\/form_wlquery$/);
  check((await page.title()) === 'Edit WLQuery', 'edit page title');
  check((await page.inputValue('#LastName')) === LAST, 'last name in the edit form');
  check((await page.inputValue('#FirstName')) === FIRST, 'first name in the edit form');
  check((await page.inputValue('#PatientBD')) === '1970-03-15', 'birth date in the edit form');
  check((await page.inputValue('#StartDate')) === DAY, 'start date in the edit form');
  check((await page.inputValue('select[name="Modality"]')) === 'MR', 'modality in the edit form');
  check((await page.inputValue('select[name="ProcedureDescription"]')) === 'KNEE <L>', 'description');
  check((await page.inputValue('select[name="ReferringPhysician"]')) === 'DR^WHO', 'referrer');
  check((await page.inputValue('select[name="MINUTES"]')) === '40', 'minutes');
  await change(page);
  await page.click('input[name="Save"]');
  await page.waitForURL(/\/edit_wlquery$/);
  check((await bodyText(page)).includes('Updated entry in Worklist'), 'saved: ' + (await bodyText(page)));
}

async function worklistSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  await addEntry(page);
  const accession = await findInGrid(page);
  await shot(page, '13-found');

  const first = findscu(accession);
  check(first.pending === 1, 'findscu finds the entry once: ' + first.text);
  expectValue(first.text, '0010,0010', LAST + '^' + FIRST);
  expectValue(first.text, '0010,0020', 'E2E-1');
  expectValue(first.text, '0010,0030', '19700315');
  expectValue(first.text, '0010,0040', 'F');
  expectValue(first.text, '0008,0090', 'DR^WHO');
  expectValue(first.text, '0008,0060', 'MR');
  expectValue(first.text, '0040,0002', '20240315');
  expectValue(first.text, '0040,0003', '094000');
  expectValue(first.text, '0040,0007', 'KNEE <L>');
  expectValue(first.text, '0040,0001', 'UNKNOWN');

  await editSaved(page, async () => {});  // unchanged
  await shot(page, '14-saved-unchanged');
  const again = findscu(accession).text;
  check(again === first.text, 'an unchanged save keeps every value:\n' + first.text + '\n---\n' + again);

  await findInGrid(page);
  await editSaved(page, async (p) => {
    await p.selectOption('select[name="ProcedureDescription"]', 'SPINE');
    await p.selectOption('select[name="PatientSex"]', 'O');
  });
  const edited = findscu(accession).text;
  expectValue(edited, '0040,0007', 'SPINE');
  expectValue(edited, '0010,0040', 'O');
  expectValue(edited, '0010,0010', LAST + '^' + FIRST);

  await page.goto(baseUrl + '/wlsetstatus?AccessionNumber=' + encodeURIComponent(accession) + '&SPSStatus=COMPLETED');
  check((await bodyText(page)).includes('Updated Worklist entry for Accession Number=' + accession), 'status set');
  await shot(page, '15-status-set');
  check(findscu(accession).pending === 0, 'a COMPLETED entry leaves the worklist');
  check(page.problems.length === 0, page.problems.join('; '));
  return accession;
}

async function deleteSession(browser, accession) {
  // The grid offers a GENERAL user no Delete; one sent anyway is refused.
  const clerk = await openAs(browser, 'clerk', clerkPassword);
  await findInGrid(clerk);
  check((await clerk.$$('#result_wlquery input[name="Delete"]')).length === 0, 'no Delete for GENERAL');
  await clerk.check('#result_wlquery input[name="CHECK"]');
  await clerk.evaluate(() => {
    const button = document.createElement('input');
    Object.assign(button, { type: 'submit', name: 'Delete', value: 'Delete' });
    document.querySelector('#querypage').appendChild(button);
  });
  await clerk.click('#querypage input[name="Delete"]');
  await clerk.waitForURL(/\/form_wlquery$/);
  check((await bodyText(clerk)).includes('ERROR, deleting entries needs ADMIN rights'), 'GENERAL delete refused');
  await shot(clerk, '16-delete-refused');
  check(clerk.problems.length === 0, clerk.problems.join('; '));

  const admin = await openAs(browser, 'admin', adminPassword);
  check((await findInGrid(admin)) === accession, 'still there after the refused delete');
  await admin.check('#result_wlquery input[name="CHECK"]');
  await admin.click('#result_wlquery input[name="Delete"]');
  await admin.waitForURL(/\/form_wlquery$/);
  check((await bodyText(admin)).includes('Deleted entry ' + accession + ' from Worklist'), 'deleted by ADMIN');
  await shot(admin, '17-deleted');
  await admin.goto(baseUrl + '/worklist');
  await query(admin, LAST, DAY, DAY);
  await admin.waitForFunction(() => document.querySelector('#result_wlquery').textContent.includes('no results'));
  check(admin.problems.length === 0, admin.problems.join('; '));
}

async function userGrid(page, prefix) {
  await page.goto(baseUrl + '/UserQuery');
  await page.fill('input[name="UserName"]', prefix);
  await page.click('input[name="Query"]');
  await page.waitForSelector('#result_users input[name="CHECK"]', { timeout: 10000 });
}

async function tick(page, user) {
  const names = await page.$$eval('#result_users input[name="UserName"]', (es) => es.map((e) => e.value));
  const row = names.indexOf(user);
  check(row >= 0, user + ' listed: ' + names);
  await page.locator('#result_users input[name="CHECK"]').nth(row).check();
}

async function loginStatus(browser, user, password) {
  const context = await browser.newContext({ httpCredentials: { username: user, password } });
  const page = await context.newPage();
  const response = await page.goto(baseUrl + '/index.htm');
  await context.close();
  return response.status();
}

async function userSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  await page.goto(baseUrl + '/UserQuery');
  await page.fill('input[name="UserName"]', 'nurse');
  await page.fill('input[name="PassWord"]', 'Nurse pw1');
  await page.selectOption('select[name="Rights"]', '0');
  await page.click('input[name="AddNew"]');
  await page.waitForFunction(() => document.querySelector('#result_users').textContent.includes('Added new entry'));
  await shot(page, '21-user-added');
  check((await loginStatus(browser, 'nurse', 'Nurse pw1')) === 200, 'the new user logs in');

  await userGrid(page, '');
  const shown = await page.$$eval('#result_users input[name="PassWord"]', (es) => es.map((e) => e.value));
  check(shown.length === 3 && shown.every((v) => v === '********'), 'passwords never shown: ' + shown);
  await shot(page, '22-users');

  await tick(page, 'admin');
  await page.click('#result_users input[name="Edit"]');
  await page.waitForURL(/\/form_users$/);
  check((await page.inputValue('input[name="PassWord"]')) === '', 'the password box starts empty');
  await page.selectOption('select[name="Rights"]', '0');
  await page.click('input[name="Save"]');
  await page.waitForURL(/\/edit_users$/);
  check((await bodyText(page)).includes('ERROR, cannot change admin rights'), 'admin stays ADMIN');
  await shot(page, '23-admin-rights-refused');

  await userGrid(page, '');
  await tick(page, 'admin');
  await tick(page, 'nurse');
  await page.click('#result_users input[name="Delete"]');
  await page.waitForURL(/\/form_users$/);
  const text = await bodyText(page);
  check(text.includes("ERROR, Can't delete admin user") && text.includes('Deleted entry nurse from users'),
        'admin kept, nurse deleted: ' + text);
  await shot(page, '24-users-deleted');
  check((await loginStatus(browser, 'nurse', 'Nurse pw1')) === 401, 'the deleted user is refused at once');
  check((await loginStatus(browser, 'admin', adminPassword)) === 200, 'admin still logs in');
  check(page.problems.length === 0, page.problems.join('; '));
}

(async () => {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  try {
    const accession = await worklistSession(browser);
    await deleteSession(browser, accession);
    await userSession(browser);
  } finally {
    await browser.close();
  }
  console.log('entry form browser checks passed');
})().catch((e) => {
  console.error('FAILED: ' + e.message);
  process.exit(1);
});
