// The timetable itself: its day plans and their bells, the week and the holidays, edited by an
// admin on a copy and saved whole from the revision it was read at (If-Match); everyone else,
// and everyone while the site file holds it, reads it. Then its revisions, each restorable.

import {api, describeError} from './api.js';
import {byId, dateTimeText, durationText, el, setText} from './dom.js';
import {holidaysFromIcs} from './ics.js';
import {allows, state, subscribe} from './state.js';
import {sentence} from './words.js';

export const weekdays = ['monday', 'tuesday', 'wednesday', 'thursday', 'friday', 'saturday', 'sunday'];
const dayWords = {monday: 'Monday', tuesday: 'Tuesday', wednesday: 'Wednesday', thursday: 'Thursday',
                  friday: 'Friday', saturday: 'Saturday', sunday: 'Sunday'};
const fieldWords = {time: 'time', group: 'group', tone: 'tone', duration_s: 'length', label: 'label',
                    first: 'first day', last: 'last day', name: 'name'};

// A mistake the service found, with the place named in words instead of the file's key:
// "key 'schedule.day_plans.day.bells[0].tone': must be ..." -> 'Plan "day", bell 1, tone: must be ...'.
export function mistakeWords(detail) {
  const text = String(detail || '');
  const keyed = /^key '([^']*)': (.*)$/s.exec(text);
  if (!keyed) return sentence(text);
  const [, key, said] = keyed;
  let place = '';
  let found;
  if ((found = /^schedule\.day_plans\.(.+?)\.bells\[(\d+)\](?:\.(\w+))?$/.exec(key))) {
    place = `Plan "${found[1]}", bell ${Number(found[2]) + 1}${found[3] ? `, ${fieldWords[found[3]] || found[3]}` : ''}`;
  } else if ((found = /^schedule\.day_plans\.(.+?)(?:\.\w+)?$/.exec(key))) {
    place = `Plan "${found[1]}"`;
  } else if ((found = /^schedule\.week\.(\w+)$/.exec(key))) {
    place = dayWords[found[1]] || found[1];
  } else if ((found = /^schedule\.holidays\.dates\[(\d+)\](?:\.(\w+))?$/.exec(key))) {
    place = `Holiday ${Number(found[1]) + 1}${found[2] ? `, ${fieldWords[found[2]] || found[2]}` : ''}`;
  } else {
    return sentence(text);
  }
  return `${place}: ${sentence(said)}`;
}

let loaded = null;   // the timetable as last read or saved: {source, revision, changed_by, ...}
let doc = null;      // the copy being edited: {plans, week, holidays}
let onSaved = () => {};
let dirty = false;   // the copy holds changes not saved
const opened = new Set();  // the plans shown with their bells, across each new rendering

function editable() {
  return !!loaded && loaded.source === 'database' && allows('administer');
}

function copyOf(timetable) {
  const plans = {};
  for (const [name, plan] of Object.entries(timetable.plans || {})) {
    plans[name] = {bells: (plan.bells || []).map((b) => ({...b}))};
  }
  const week = {};
  for (const day of weekdays) week[day] = (timetable.week || {})[day] ?? null;
  return {plans, week, holidays: (timetable.holidays || []).map((h) => ({...h}))};
}

function planNames() {
  return Object.keys(doc.plans).sort((a, b) => a.localeCompare(b));
}

function say(text) {
  setText(byId('tt-message'), text);
}

function changed() {
  dirty = true;
  byId('tt-save').disabled = false;
  setText(byId('tt-dirty'), 'Not saved yet.');
}

// --- day plans and their bells -------------------------------------------------------------

function groupSelect(bell, label) {
  const names = state.groups.map((g) => g.name);
  if (bell.group && !names.includes(bell.group)) names.unshift(bell.group);
  return el('select', {'aria-label': label, onchange: (e) => { bell.group = e.target.value; changed(); }},
            ...names.map((n) => el('option', {value: n, selected: n === bell.group}, n)));
}

function bellRow(planName, bell, index) {
  const label = (what) => `${what} of bell ${index + 1} in plan ${planName}`;
  if (!editable()) {
    return el('tr', {}, el('th', {scope: 'row'}, bell.time), el('td', {}, bell.group),
              el('td', {}, `Tone ${bell.tone}`), el('td', {}, durationText(bell.duration_s)),
              el('td', {}, bell.label || ''));
  }
  const bells = doc.plans[planName].bells;
  return el('tr', {class: 'bell-edit'},
      el('td', {data: {label: 'Time'}}, el('input', {type: 'time', step: 1, value: bell.time, required: true, 'aria-label': label('Time'),
                                onchange: (e) => { bell.time = e.target.value; changed(); }})),
      el('td', {data: {label: 'Group'}}, groupSelect(bell, label('Group'))),
      el('td', {data: {label: 'Tone'}}, el('select', {'aria-label': label('Tone'),
                                 onchange: (e) => { bell.tone = Number(e.target.value); changed(); }},
                      ...[0, 1, 2, 3].map((t) => el('option', {value: t, selected: t === Number(bell.tone)}, `Tone ${t}`)))),
      el('td', {data: {label: 'Length in s'}}, el('input', {type: 'number', min: 1, max: 86400, step: 1, inputmode: 'numeric',
                                value: bell.duration_s, 'aria-label': label('Length in seconds'),
                                onchange: (e) => { bell.duration_s = Number(e.target.value); changed(); }})),
      el('td', {data: {label: 'Label'}}, el('input', {value: bell.label || '', maxlength: 200, 'aria-label': label('Label'),
                                onchange: (e) => { bell.label = e.target.value.trim(); changed(); }})),
      el('td', {}, el('button', {type: 'button', class: 'quiet bell-remove', 'aria-label': `Remove bell ${index + 1} of plan ${planName}`,
                                 onclick: () => { bells.splice(index, 1); changed(); renderEditor(); }}, 'Remove')));
}

function unusedName(base) {
  let name = base;
  for (let n = 2; name in doc.plans; n += 1) name = `${base} ${n}`;
  return name;
}

function renamePlan(from, to) {
  to = to.trim();
  if (to === from) return;
  if (!to || to in doc.plans) {
    say(to ? `There is a plan "${to}" already: choose another name.` : 'A plan needs a name.');
    renderEditor();
    return;
  }
  const plans = {};
  for (const [name, plan] of Object.entries(doc.plans)) plans[name === from ? to : name] = plan;
  doc.plans = plans;
  for (const day of weekdays) if (doc.week[day] === from) doc.week[day] = to;
  if (opened.delete(from)) opened.add(to);
  say(`Plan "${from}" is now "${to}".`);
  changed();
  renderEditor();
}

function copyPlan(name) {
  const copy = unusedName(`${name} copy`);
  doc.plans[copy] = {bells: doc.plans[name].bells.map((b) => ({...b}))};
  opened.add(copy);
  say(`Copied plan "${name}" as "${copy}".`);
  changed();
  renderEditor();
}

function deletePlan(name) {
  delete doc.plans[name];
  const days = weekdays.filter((day) => doc.week[day] === name);
  for (const day of days) doc.week[day] = null;
  const now = days.length === 1 ? 'now rings no bells' : 'now ring no bells';
  say(`Plan "${name}" deleted${days.length ? `; ${days.map((d) => dayWords[d]).join(', ')} ${now}` : ''}.`);
  changed();
  renderEditor();
}

function addBell(name) {
  const bells = doc.plans[name].bells;
  const last = bells[bells.length - 1];
  bells.push({time: last ? last.time : '08:00', group: last ? last.group : (state.groups[0] || {}).name || '',
              tone: last ? last.tone : 1, duration_s: last ? last.duration_s : 3, label: ''});
  changed();
  renderEditor();
  const rows = document.querySelectorAll(`[data-plan="${CSS.escape(name)}"] tbody tr`);
  const input = rows.length ? rows[rows.length - 1].querySelector('input') : null;
  if (input) input.focus();
}

function planSection(name) {
  const plan = doc.plans[name];
  const edit = editable();
  const head = edit
      ? el('div', {class: 'plan-head'},
           el('div', {class: 'field inline'},
              el('label', {for: `plan-name-${CSS.escape(name)}`}, 'Plan name'),
              el('input', {id: `plan-name-${CSS.escape(name)}`, class: 'plan-name', value: name, maxlength: 64,
                           onchange: (e) => renamePlan(name, e.target.value)})),
           el('div', {class: 'row-actions'},
              el('button', {type: 'button', class: 'quiet plan-copy', onclick: () => copyPlan(name),
                            'aria-label': `Copy plan ${name}`}, 'Copy'),
              el('button', {type: 'button', class: 'quiet plan-delete', onclick: () => deletePlan(name),
                            'aria-label': `Delete plan ${name}`}, 'Delete')))
      : el('h3', {}, `Plan "${name}"`);
  const rows = plan.bells.map((bell, i) => bellRow(name, bell, i));
  if (rows.length === 0) rows.push(el('tr', {}, el('td', {colspan: edit ? 6 : 5}, 'No bells.')));
  const heads = ['Time', 'Group', 'Tone', 'Length', 'Label'].map((h) => el('th', {scope: 'col'}, h));
  if (edit) heads.push(el('th', {scope: 'col'}, el('span', {class: 'visually-hidden'}, 'Actions')));
  const times = plan.bells.map((b) => b.time).sort();
  const count = plan.bells.length === 1 ? '1 bell' : `${plan.bells.length} bells`;
  const details = el('details', {class: 'plan-bells', open: opened.has(name),
                                 ontoggle: (e) => { if (e.target.open) opened.add(name); else opened.delete(name); }},
      el('summary', {}, times.length ? `${count}, ${times[0]} to ${times[times.length - 1]}` : 'No bells yet'),
      el('table', {class: `table stack${edit ? ' bells-edit' : ''}`},
         el('caption', {class: 'visually-hidden'}, `The bells of plan ${name}`),
         el('thead', {}, el('tr', {}, ...heads)), el('tbody', {}, ...rows)),
      edit ? el('button', {type: 'button', class: 'quiet bell-add', onclick: () => addBell(name)},
                'Add a bell') : null);
  return el('section', {class: 'plan', data: {plan: name}, 'aria-label': `Plan ${name}`}, head, details);
}

// --- the week and the holidays ---------------------------------------------------------------

function weekList() {
  const edit = editable();
  const items = weekdays.map((day) => {
    const plan = doc.week[day];
    if (!edit) {
      return el('li', {data: {day}}, el('strong', {}, `${dayWords[day]}: `), plan ? `plan "${plan}"` : 'no bells');
    }
    const select = el('select', {id: `week-${day}`, onchange: (e) => { doc.week[day] = e.target.value || null; changed(); }},
                      el('option', {value: ''}, 'No bells'),
                      ...planNames().map((n) => el('option', {value: n, selected: n === plan}, `Plan "${n}"`)));
    return el('li', {data: {day}, class: 'field'}, el('label', {for: `week-${day}`}, dayWords[day]), select);
  });
  return el('ul', {class: 'week-list'}, ...items);
}

function holidayRows() {
  const edit = editable();
  const rows = doc.holidays.map((holiday, i) => {
    const days = holiday.first === holiday.last ? holiday.first : `${holiday.first} to ${holiday.last}`;
    if (!edit) return el('tr', {}, el('th', {scope: 'row'}, holiday.name), el('td', {}, days));
    const set = (key) => (e) => { holiday[key] = e.target.value.trim(); changed(); };
    return el('tr', {class: 'holiday-edit'},
        el('td', {}, el('input', {value: holiday.name, maxlength: 200, 'aria-label': `Name of holiday ${i + 1}`,
                                  onchange: set('name')})),
        el('td', {}, el('input', {type: 'date', value: holiday.first, 'aria-label': `First day of holiday ${i + 1}`,
                                  onchange: set('first')})),
        el('td', {}, el('input', {type: 'date', value: holiday.last, 'aria-label': `Last day of holiday ${i + 1}`,
                                  onchange: set('last')})),
        el('td', {}, el('button', {type: 'button', class: 'quiet holiday-remove',
                                   'aria-label': `Remove the holiday ${holiday.name || i + 1}`,
                                   onclick: () => { doc.holidays.splice(i, 1); changed(); renderEditor(); }}, 'Remove')));
  });
  if (rows.length === 0) rows.push(el('tr', {}, el('td', {colspan: edit ? 4 : 2}, 'No holidays.')));
  return rows;
}

function renderEditor() {
  const edit = editable();
  const plans = planNames().map(planSection);
  if (plans.length === 0) plans.push(el('p', {class: 'summary'}, 'No day plans yet.'));
  byId('plan-list').replaceChildren(...plans);
  byId('week-box').replaceChildren(weekList());
  byId('holiday-rows').replaceChildren(...holidayRows());
  for (const node of document.querySelectorAll('#plans .tt-edit')) node.hidden = !edit;
  byId('holiday-head-actions').hidden = !edit;
  setText(byId('holiday-head-days'), edit ? 'First day' : 'Days');
}

function renderStatus() {
  const who = loaded.changed_by ? ` by ${loaded.changed_by}` : '';
  const when = loaded.changed_at ? ` at ${dateTimeText(loaded.changed_at)}` : '';
  let text;
  if (loaded.source === 'file') text = 'Set in the site file. It is changed there, not here.';
  else if (!loaded.revision) text = 'Nothing is saved yet.';
  else text = `Revision ${loaded.revision}${who}${when}.`;
  if (loaded.source !== 'file' && !allows('administer')) text += ' Only an admin changes it.';
  setText(byId('tt-status'), text);
  byId('plans').dataset.source = loaded.source || '';
}

function take(timetable) {
  loaded = timetable;
  doc = copyOf(timetable);
  renderStatus();
  renderEditor();
  byId('tt-save').disabled = true;
  setText(byId('tt-dirty'), '');
  dirty = false;
}

// Reads the timetable again, unless changes not saved would be lost (force: lose them).
export async function loadEditor({force = false} = {}) {
  if (dirty && !force) return;
  try {
    take(await api('GET', '/api/v1/timetable'));
  } catch (error) {
    setText(byId('tt-status'), `The timetable could not be read: ${describeError(error)}`);
  }
}

// --- saving ----------------------------------------------------------------------------------

function documentToSend() {
  const plans = {};
  for (const [name, plan] of Object.entries(doc.plans)) {
    plans[name] = {bells: plan.bells.map((b) => {
      const bell = {time: b.time, group: b.group, tone: Number(b.tone), duration_s: Number(b.duration_s)};
      if (b.label) bell.label = b.label;
      return bell;
    })};
  }
  return {plans, week: {...doc.week}, holidays: doc.holidays.map(({name, first, last}) => ({name, first, last}))};
}

function showMistakes(list) {
  byId('tt-mistakes').replaceChildren(...list.map((m) => el('li', {}, mistakeWords(m))));
  byId('tt-mistakes').hidden = list.length === 0;
}

async function staleWords() {
  try {
    const now = await api('GET', '/api/v1/timetable');
    const who = now.changed_by || 'someone';
    return `Not saved: ${who} changed the timetable at ${dateTimeText(now.changed_at)} (revision ${now.revision}) ` +
           'after you loaded it. Load the current timetable and make your change on it.';
  } catch {
    return 'Not saved: someone else changed the timetable after you loaded it. Load the current timetable and make your change on it.';
  }
}

async function save() {
  const button = byId('tt-save');
  button.disabled = true;
  showMistakes([]);
  byId('tt-reload').hidden = true;
  say('Saving…');
  try {
    const saved = await api('PUT', '/api/v1/timetable', documentToSend(), {'If-Match': `"${loaded.revision}"`});
    take(saved);
    say(`Saved as revision ${saved.revision}.`);
    onSaved();
    loadRevisions();
  } catch (error) {
    button.disabled = false;
    if (error.status === 400 && error.details.length) {
      say(`Not saved: ${error.details.length === 1 ? 'one mistake' : `${error.details.length} mistakes`}. Nothing was changed.`);
      showMistakes(error.details);
    } else if (error.status === 412) {
      say(await staleWords());
      byId('tt-reload').hidden = false;
    } else if (error.status === 409) {
      say(`Not saved: ${describeError(error)}`);
      byId('tt-reload').hidden = false;
    } else {
      say(`Not saved: ${describeError(error)}`);
    }
  }
}

function addPlan() {
  const input = byId('plan-new-name');
  const name = input.value.trim();
  if (!name) {
    say('Give the new plan a name.');
    input.focus();
    return;
  }
  if (name in doc.plans) {
    say(`There is a plan "${name}" already: choose another name.`);
    input.focus();
    return;
  }
  doc.plans[name] = {bells: []};
  opened.add(name);
  input.value = '';
  say(`Plan "${name}" added: add its bells, then save.`);
  changed();
  renderEditor();
}

async function readIcs(event) {
  const file = event.target.files && event.target.files[0];
  if (!file) return;
  let text = '';
  try {
    text = await file.text();
  } catch {
    text = null;
  }
  const {holidays, problem} = holidaysFromIcs(text);
  event.target.value = '';
  if (problem) {
    setText(byId('ics-message'), `${file.name} cannot be read: ${problem}`);
    return;
  }
  doc.holidays.push(...holidays);
  setText(byId('ics-message'), `${holidays.length === 1 ? 'One holiday' : `${holidays.length} holidays`} ` +
                               `from ${file.name} added below: check them, then save.`);
  changed();
  renderEditor();
}

// --- revisions -------------------------------------------------------------------------------

export async function loadRevisions() {
  const rows = byId('revision-rows');
  try {
    const list = await api('GET', '/api/v1/timetable/revisions');
    const restorable = allows('administer') && loaded && loaded.source === 'database';
    const made = (Array.isArray(list) ? list : []).map((r) => el('tr', {data: {revision: r.revision}},
        el('th', {scope: 'row'}, `Revision ${r.revision}`), el('td', {}, r.changed_by || 'a program'),
        el('td', {}, dateTimeText(r.changed_at)), el('td', {}, r.summary || ''),
        el('td', {}, restorable && loaded.revision !== r.revision
            ? el('button', {type: 'button', class: 'quiet revision-restore', 'aria-label': `Restore revision ${r.revision}`,
                            onclick: () => restore(r.revision)}, 'Restore')
            : loaded && loaded.revision === r.revision ? 'Current' : '')));
    if (made.length === 0) made.push(el('tr', {}, el('td', {colspan: 5}, 'No revisions: nothing was saved here.')));
    rows.replaceChildren(...made);
  } catch (error) {
    rows.replaceChildren(el('tr', {}, el('td', {colspan: 5}, `The revisions could not be read: ${describeError(error)}`)));
  }
}

async function restore(revision) {
  const message = byId('revisions-message');
  try {
    const restored = await api('POST', `/api/v1/timetable/revisions/${revision}/restore`);
    take(restored);
    setText(message, `Restored revision ${revision} as revision ${restored.revision}.`);
    say('');
    onSaved();
    loadRevisions();
  } catch (error) {
    setText(message, `Not restored: ${describeError(error)}`);
  }
}

// After a logout: the next session reads the timetable afresh.
export function forgetPlans() {
  loaded = null;
  doc = null;
  dirty = false;
}

// onChanged: after a save or a restore (the days, today's bells and the exceptions' plans).
export function wirePlans({onChanged}) {
  onSaved = onChanged;
  byId('tt-save').addEventListener('click', save);
  byId('tt-reload').addEventListener('click', async () => {
    byId('tt-reload').hidden = true;
    showMistakes([]);
    await loadEditor({force: true});
    say('The current timetable is loaded.');
    loadRevisions();
  });
  byId('plan-add').addEventListener('click', addPlan);
  byId('holiday-add').addEventListener('click', () => {
    const today = new Date().toISOString().slice(0, 10);
    doc.holidays.push({name: '', first: today, last: today});
    changed();
    renderEditor();
    const inputs = byId('holiday-rows').querySelectorAll('input');
    if (inputs.length >= 3) inputs[inputs.length - 3].focus();
  });
  byId('ics-file').addEventListener('change', readIcs);
  // The bells' group lists follow the groups once they are read.
  subscribe('groups', () => { if (doc && editable()) renderEditor(); });
}
