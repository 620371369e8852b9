// Exceptions to the timetable: days that run another plan or no bells. Everyone sees them;
// admins add and remove those added here (the site file's own are read-only).

import {api, describeError} from './api.js';
import {byId, el, listOf, setText} from './dom.js';
import {allows} from './state.js';
import {loadTimetable} from './timetable.js';

function normalise(exception) {
  const first = exception.first || exception.from || exception.date || '';
  const last = exception.last || exception.to || first;
  const fromFile = exception.source === 'file' || exception.removable === false;
  return {...exception, first, last, fromFile};
}

function daysText(exception) {
  return exception.first === exception.last ? exception.first : `${exception.first} to ${exception.last}`;
}

let shown = [];  // the exceptions as last read, normalised

// Why a new exception overlaps, in words: the exceptions it meets by their names and days
// (the service's own message names one by its number).
export function overlapWords(first, last, exceptions) {
  const met = exceptions.map(normalise).filter((e) => e.first <= last && first <= e.last);
  if (met.length === 0) return '';
  const names = met.map((e) => `${e.name ? `"${e.name}"` : 'the exception'} (${daysText(e)}` +
                               `${e.fromFile ? ', from the site file' : ''})`);
  return `These days overlap ${names.join(' and ')}: remove that first or choose other days.`;
}

function renderExceptions(list) {
  shown = list.map(normalise);
  const rows = shown.map((exception) => {
    const runs = exception.plan ? `Plan "${exception.plan}"` : 'No bells';
    const source = exception.fromFile ? 'Site file'
                 : exception.added_by ? `Added by ${exception.added_by}` : 'Added here';
    const actions = el('td');
    if (!exception.fromFile && allows('administer')) {
      actions.append(el('button', {
        type: 'button', class: 'quiet exception-remove',
        'aria-label': `Remove the exception ${exception.name || ''} on ${daysText(exception)}`,
        onclick: () => removeException(exception),
      }, 'Remove'));
    }
    return el('tr', {data: {id: exception.id ?? ''}}, el('th', {scope: 'row'}, daysText(exception)),
              el('td', {}, runs), el('td', {}, exception.name || ''), el('td', {}, source), actions);
  });
  if (rows.length === 0) rows.push(el('tr', {}, el('td', {colspan: 5}, 'No exceptions.')));
  byId('exception-rows').replaceChildren(...rows);
}

export async function loadExceptions() {
  try {
    renderExceptions(listOf(await api('GET', '/api/v1/schedule/exceptions'), 'exceptions'));
  } catch (error) {
    byId('exception-rows').replaceChildren(
        el('tr', {}, el('td', {colspan: 5}, `The exceptions could not be read: ${describeError(error)}`)));
  }
}

export async function loadPlans() {
  try {
    const reply = await api('GET', '/api/v1/schedule/plans');
    const plans = listOf(reply, 'plans').map((p) => (typeof p === 'string' ? p : p.name));
    const select = byId('exception-plan');
    select.replaceChildren(el('option', {value: ''}, 'No bells'),
                           ...plans.map((name) => el('option', {value: name}, `Plan "${name}"`)));
  } catch {
    // Without plans the form still offers "No bells".
  }
}

async function removeException(exception) {
  const message = byId('exception-message');
  try {
    await api('DELETE', `/api/v1/schedule/exceptions/${encodeURIComponent(exception.id)}`);
    setText(message, `Removed the exception on ${daysText(exception)}.`);
    await Promise.all([loadExceptions(), loadTimetable()]);
    byId('exceptions-title').focus();
  } catch (error) {
    setText(message, `Not removed: ${describeError(error)}`);
  }
}

async function submitException(event) {
  event.preventDefault();
  const message = byId('exception-message');
  const from = byId('exception-from').value;
  const to = byId('exception-to').value;
  const name = byId('exception-name').value.trim();
  const plan = byId('exception-plan').value;
  if (!from) {
    setText(message, 'Give the first day.');
    byId('exception-from').focus();
    return;
  }
  if (to && to < from) {
    setText(message, 'The last day comes before the first.');
    byId('exception-to').focus();
    return;
  }
  if (!name) {
    setText(message, 'Give the exception a name.');
    byId('exception-name').focus();
    return;
  }
  const request = !to || to === from ? {date: from} : {from, to};
  if (plan) request.plan = plan;
  else request.no_bells = true;
  request.name = name;
  try {
    await api('POST', '/api/v1/schedule/exceptions', request);
    setText(message, `Added: ${plan ? `plan "${plan}"` : 'no bells'} on ${to && to !== from ? `${from} to ${to}` : from}.`);
    byId('exception-form').reset();
    await Promise.all([loadExceptions(), loadTimetable()]);
  } catch (error) {
    const overlap = error.status === 409 ? overlapWords(from, to || from, shown) : '';
    setText(message, `Not added: ${overlap || describeError(error)}`);
  }
}

export function wireExceptions() {
  byId('exception-form').addEventListener('submit', submitException);
  byId('exceptions-title').setAttribute('tabindex', '-1');
}
