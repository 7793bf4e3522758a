// Tarvelin web administration: the little the pages do in the browser. The
// pages work without it; the server checks everything again.
'use strict';

// Entry forms: every required field left empty is named at once, above the
// form, before anything is sent.
function checkRequired(form, event) {
  const missing = [];
  form.querySelectorAll('[required]').forEach((field) => {
    const empty = field.value.trim() === '';
    field.setAttribute('aria-invalid', empty ? 'true' : 'false');
    if (empty) {
      const label = form.querySelector('label[for="' + field.id + '"]');
      const text = label ? label.textContent.replace('*', '').trim()
                         : (field.getAttribute('aria-label') || field.name);
      missing.push({ field, text });
    }
  });
  let box = form.querySelector('.errors.client');
  if (missing.length === 0) {
    if (box) box.remove();
    return;
  }
  event.preventDefault();
  if (!box) {
    box = document.createElement('div');
    box.className = 'errors client';
    box.setAttribute('role', 'alert');
    form.prepend(box);
  }
  box.textContent = '';
  const intro = document.createElement('p');
  intro.textContent = 'Please correct:';
  const list = document.createElement('ul');
  missing.forEach(({ text }) => {
    const item = document.createElement('li');
    item.textContent = text + ' is required';
    list.append(item);
  });
  box.append(intro, list);
  missing[0].field.focus();
}

// The procedure descriptions offered follow the chosen modality.
function followModality(select) {
  const target = document.getElementById(select.dataset.descriptions);
  if (!target) return;
  select.addEventListener('change', () => {
    fetch('proc_description?Modality=' + encodeURIComponent(select.value), { credentials: 'same-origin' })
      .then((answer) => (answer.ok ? answer.text() : Promise.reject(answer.status)))
      .then((html) => { target.innerHTML = html; })
      .catch(() => {});
  });
}

// Dates come as ISO text; they are shown the way this browser's date inputs
// show them (its locale), so a screen never mixes two date forms.
function localDates() {
  const format = new Intl.DateTimeFormat(undefined, { year: 'numeric', month: '2-digit', day: '2-digit' });
  document.querySelectorAll('time[datetime]').forEach((time) => {
    const [year, month, day] = time.getAttribute('datetime').split('-').map(Number);
    if (year && month && day) time.textContent = format.format(new Date(year, month - 1, day));
  });
}

document.addEventListener('DOMContentLoaded', () => {
  localDates();
  document.querySelectorAll('form.entry').forEach((form) => {
    form.addEventListener('submit', (event) => checkRequired(form, event));
  });
  document.querySelectorAll('select[data-descriptions]').forEach(followModality);
});
