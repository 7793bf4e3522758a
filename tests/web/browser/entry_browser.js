// Drives Debian's Chromium through the worklist forms and the user pages:
// the add form's placeholders and its required fields (all errors at once,
// in the browser and from the server), adding an entry (found with dcmtk's
// findscu too), the question before a second entry for the same order of
// the day, editing (an unchanged save keeps every value; a cleared field is
// cleared; a started entry stays IN PROGRESS; a change made meanwhile is not
// overwritten), deleting with confirmation and a count; adding, editing and
// deleting users. Usage: node entry_browser.js BASE_URL SCREENSHOT_DIR
// ADMIN_PASSWORD CLERK_PASSWORD DICOM_PORT. Exits 1 with the reason on any failure.
'use strict';
const http = require('http');
const { spawnSync } = require('child_process');
const { chromium } = require('playwright-core');
const { check, openAs, visit } = require('./browser_helpers');

const [baseUrl, shots, adminPassword, clerkPassword, dicomPort] = process.argv.slice(2);
const LAST = 'M\u00dcLLER';  // posted and stored as UTF-8, answered in Latin-1 by default
const FIRST = "O'<b>&";      // a quote, markup and an ampersand, all as text
const DAY = '2024-03-15';
const bodyText = (page) => page.textContent('main');

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
    const shown = line.includes('(no value available)') ? '' : line.slice(line.indexOf('[') + 1, line.lastIndexOf(']'));
    check(line !== '' && shown.replace(/ $/, '') === value, tag + ': ' + line);
  }
}

// What another system's script sends: no browser headers, no form token.
function integratorCall(path) {
  return new Promise((resolve, reject) => {
    http.get(baseUrl + path, { auth: 'admin:' + adminPassword }, (res) => {
      let body = '';
      res.on('data', (d) => { body += d; });
      res.on('end', () => resolve({ status: res.statusCode, body }));
    }).on('error', reject);
  });
}

async function follow(page, selector) {
  await Promise.all([page.waitForNavigation(), page.click(selector)]);
}

async function fillEntry(page) {
  await page.fill('#PatientID', 'E2E-1');
  await page.fill('#LastName', LAST);
  await page.fill('#FirstName', FIRST);
  await page.fill('#PatientBD', '1970-03-15');
  await page.selectOption('#PatientSex', 'F');
  await page.selectOption('#Modality', 'MR');  // asks the server for the MR descriptions
  await page.waitForSelector('option[value="KNEE <L>"]', { state: 'attached', timeout: 10000 });
  await page.selectOption('#ProcedureDescription', 'KNEE <L>');
  await page.selectOption('#ReferringPhysician', 'DR^WHO');
  await page.fill('#StartDate', DAY);
  await page.selectOption('#HOUR', '09');
  await page.selectOption('#MINUTES', '40');
}

async function addEntry(page) {
  await page.goto(baseUrl + '/add2wl');
  // Sample values are placeholders: nothing is filled in that would be stored.
  check((await page.getAttribute('#LastName', 'placeholder')) === 'LAST' && (await page.inputValue('#LastName')) === '',
        'the family name has a placeholder only');
  check((await page.inputValue('#PatientBD')) === '', 'no birth date is made up');
  await visit(page, shots, '11-add');
  // Sent empty: every missing field is named at once, and nothing is sent.
  await page.click('button[name="Submit"]');
  const errors = await page.$$eval('.errors li', (lis) => lis.map((li) => li.textContent));
  check(errors.join('|') === 'Patient ID is required|Family name is required|Birth date is required|Sex is required',
        'all errors at once: ' + errors);
  check(page.url().endsWith('/add2wl'), 'nothing was sent');
  // The server checks again (a browser without the script): all errors, what was typed kept.
  await page.fill('#PatientID', 'E2E-1');
  await Promise.all([page.waitForNavigation(), page.evaluate(() => document.querySelector('form.entry').submit())]);
  const server = await page.$$eval('.errors li', (lis) => lis.map((li) => li.textContent));
  check(server.join('|') === 'Family name is required|Birth date is required|Sex is required', 'server: ' + server);
  check((await page.inputValue('#PatientID')) === 'E2E-1', 'what was typed is kept');
  await visit(page, shots, '12-add-errors');

  await fillEntry(page);
  await follow(page, 'button[name="Submit"]');
  check(page.url().includes('/worklist?DateFrom=' + DAY + '&DateTo=' + DAY + '&msg=added'), 'back to the day: ' + page.url());
  const message = await page.textContent('.message');
  const accession = message.replace('Added entry ', '');
  check(accession.length === 16, 'the message names the new entry: ' + message);
  check((await bodyText(page)).includes(LAST + '^' + FIRST), 'the list shows it');
  await page.reload();  // a reload shows the list again and adds nothing
  check((await page.textContent('#count')) === '1 entry', 'one entry after a reload');
  return accession;
}

async function addAgain(page) {
  await page.goto(baseUrl + '/add2wl');
  await fillEntry(page);
  await follow(page, 'button[name="Submit"]');
  check((await page.textContent('.question')).includes('already has an entry for this procedure on this day'),
        'the same order again is questioned');
  await visit(page, shots, '13-add-question');
  await follow(page, 'button[name="Submit"]');  // "Add another entry"
  check((await page.textContent('.message')).startsWith('Added entry'), 'added after the question');
  check((await page.textContent('#count')) === '2 entries', 'two entries now');
}

// Opens the entry from the list (by its key) and checks what the form shows.
async function openEntry(page, accession) {
  await page.goto(baseUrl + '/worklist?DateFrom=' + DAY + '&DateTo=' + DAY);
  await follow(page, 'table.list tr:has-text("' + accession + '") a');
  check(page.url().includes('AccessionNumber=' + accession), 'opened by its key');
}

async function save(page) {
  await follow(page, 'button[name="Save"]');
}

async function worklistSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  const accession = await addEntry(page);
  const first = findscu(accession);
  check(first.pending === 1, 'findscu finds the entry once');
  expectValues(first.text, { '0010,0010': LAST + '^' + FIRST, '0010,0020': 'E2E-1', '0010,0030': '19700315',
                             '0010,0040': 'F', '0008,0090': 'DR^WHO', '0008,0060': 'MR', '0040,0002': '20240315',
                             '0040,0003': '094000', '0040,0007': 'KNEE <L>' });
  await addAgain(page);

  await openEntry(page, accession);
  const shown = await page.$$eval('#LastName, #FirstName, #PatientBD, select, #StartDate', (es) =>
    es.map((e) => e.value).join('|'));
  check(shown === [LAST, FIRST, '1970-03-15', 'F', 'MR', 'DR^WHO', 'KNEE <L>', DAY, '09', '40', 'SCHEDULED'].join('|'),
        'the edit form shows the entry: ' + shown);
  const statuses = await page.$$eval('#Status option', (os) => os.map((o) => o.textContent));
  check(statuses.join() === 'SCHEDULED,IN PROGRESS,COMPLETED,DISCONTINUED', 'every status: ' + statuses);
  await visit(page, shots, '14-edit');
  await save(page);
  check((await page.textContent('.message')) === 'Updated entry ' + accession, 'saved, back on the list');
  check(findscu(accession).text === first.text, 'an unchanged save keeps every value');

  // A cleared field is cleared.
  await openEntry(page, accession);
  await page.fill('#PatientBD', '');
  await page.selectOption('#ProcedureDescription', '');
  await save(page);
  expectValues(findscu(accession).text, { '0010,0030': '', '0040,0007': '', '0010,0010': LAST + '^' + FIRST });

  // A modality starts the step; an edit saved afterwards leaves it started.
  check((await integratorCall('/wlsetstatus?AccessionNumber=' + accession + '&SPSStatus=IN%20PROGRESS')).status === 200,
        'another system sets IN PROGRESS');
  await openEntry(page, accession);
  check((await page.inputValue('#Status')) === 'IN PROGRESS', 'the form shows IN PROGRESS');
  await page.selectOption('#ProcedureDescription', 'SPINE');
  await save(page);
  await page.goto(baseUrl + '/worklist?DateFrom=' + DAY + '&DateTo=' + DAY + '&Status=IN%20PROGRESS');
  check((await page.textContent('table.list')).includes('SPINE'), 'saved, still IN PROGRESS');

  // A change made while the form was open is not overwritten.
  await openEntry(page, accession);
  await page.selectOption('#ProcedureDescription', 'KNEE <L>');
  check((await integratorCall('/wlsetstatus?AccessionNumber=' + accession + '&SPSStatus=COMPLETED')).status === 200,
        'completed meanwhile');
  await save(page);
  check((await page.textContent('.errors')).includes('was changed by someone else'), 'the save is stopped');
  check((await page.inputValue('#Status')) === 'COMPLETED', 'the form now shows the stored status');
  await visit(page, shots, '15-edit-changed-meanwhile');
  await page.goto(baseUrl + '/worklist?DateFrom=' + DAY + '&DateTo=' + DAY + '&Status=COMPLETED');
  check((await page.textContent('table.list')).includes('SPINE'), 'nothing was overwritten');
  check(page.problems.length === 0, page.problems.join('; '));
  await page.context().close();
  return accession;
}

async function deleteSession(browser, accession) {
  const clerk = await openAs(browser, 'clerk', clerkPassword);
  await clerk.goto(baseUrl + '/worklist?DateFrom=' + DAY + '&DateTo=' + DAY);
  check((await clerk.$$('table.list input[type="checkbox"]')).length === 0, 'GENERAL users delete nothing');
  await clerk.context().close();

  const page = await openAs(browser, 'admin', adminPassword);
  await page.goto(baseUrl + '/worklist?DateFrom=' + DAY + '&DateTo=' + DAY);
  await page.check('table.list tr:has-text("' + accession + '") input[type="checkbox"]');
  await follow(page, 'button[name="Delete"]');
  check((await page.textContent('h1')) === 'Delete 1 entry?' && (await bodyText(page)).includes(accession),
        'Delete asks first, naming the entry');
  await visit(page, shots, '16-delete-question');
  await page.goto(baseUrl + '/worklist?DateFrom=' + DAY + '&DateTo=' + DAY);
  check((await page.textContent('#count')) === '2 entries', 'asking deleted nothing');
  await page.check('table.list tr:has-text("' + accession + '") input[type="checkbox"]');
  await follow(page, 'button[name="Delete"]');
  await follow(page, 'button:has-text("Delete 1 entry")');
  check((await page.textContent('.message')) === 'Deleted 1 entry', 'the count deleted');
  check((await page.textContent('#count')) === '1 entry', 'one entry left');
  check(findscu(accession).pending === 0, 'gone from the worklist');
  check(page.problems.length === 0, page.problems.join('; '));
  await page.context().close();
}

async function loginStatus(browser, username, password) {
  const context = await browser.newContext({ httpCredentials: { username, password } });
  const status = (await (await context.newPage()).goto(baseUrl + '/index.htm')).status();
  await context.close();
  return status;
}

async function userSession(browser) {
  const page = await openAs(browser, 'admin', adminPassword);
  await page.goto(baseUrl + '/UserQuery');
  await visit(page, shots, '21-users');
  check((await page.getAttribute('#PassWord', 'type')) === 'password', 'the password is not shown while typed');
  await page.fill('#UserName', 'nurse');
  await page.fill('#PassWord', 'Nurse pw1, long');
  await follow(page, 'button[name="AddNew"]');
  check((await page.textContent('.message')) === 'Added user nurse', 'added');
  check(!(await page.content()).includes('Nurse pw1, long'), 'the password is never echoed');
  check((await loginStatus(browser, 'nurse', 'Nurse pw1, long')) === 200, 'the new user logs in');

  await follow(page, 'table.list a:has-text("admin")');
  check((await page.inputValue('#PassWord')) === '', 'the password box starts empty');
  await visit(page, shots, '22-user-edit');
  await page.selectOption('#Rights', '0');
  await follow(page, 'button[name="Save"]');
  check((await bodyText(page)).includes('ERROR, cannot change admin rights'), 'admin stays ADMIN');

  await page.goto(baseUrl + '/UserQuery');
  for (const name of ['admin', 'nurse']) await page.check('input[aria-label="Select ' + name + '"]');
  await follow(page, 'button[name="Delete"]');
  await visit(page, shots, '23-users-delete-question');
  await follow(page, 'button:has-text("Delete")');
  const text = await bodyText(page);
  check(text.includes("ERROR, Can't delete admin user") && text.includes('Deleted 1 user(s)'), text);
  check((await loginStatus(browser, 'nurse', 'Nurse pw1, long')) === 401, 'the deleted user is refused at once');
  check((await loginStatus(browser, 'admin', adminPassword)) === 200, 'admin still logs in');
  check(page.problems.length === 0, page.problems.join('; '));
  await page.context().close();
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
