// Any day ahead: a month or a week of dates, each with the plan it runs and why (the week, an
// exception or a holiday, by name), and one chosen date's bells, all from /api/v1/days.

import {api, describeError} from './api.js';
import {byId, durationText, el, setText} from './dom.js';

// Dates are "YYYY-MM-DD" and reckoned in UTC, so that no clock change moves a day.
function parts(text) {
  const [y, m, d] = text.split('-').map(Number);
  return new Date(Date.UTC(y, m - 1, d));
}

function text(date) {
  return date.toISOString().slice(0, 10);
}

export function addDays(date, days) {
  const at = parts(date);
  at.setUTCDate(at.getUTCDate() + days);
  return text(at);
}

// The browser's date today (the site's, for a page opened at the site).
export function todayText(now = new Date()) {
  const pad = (n) => String(n).padStart(2, '0');
  return `${now.getFullYear()}-${pad(now.getMonth() + 1)}-${pad(now.getDate())}`;
}

// The Monday on or before a date.
export function mondayOf(date) {
  return addDays(date, -((parts(date).getUTCDay() + 6) % 7));
}

// The first and last date of a date's month.
export function monthOf(date) {
  const at = parts(date);
  const first = new Date(Date.UTC(at.getUTCFullYear(), at.getUTCMonth(), 1));
  const last = new Date(Date.UTC(at.getUTCFullYear(), at.getUTCMonth() + 1, 0));
  return [text(first), text(last)];
}

const monthName = new Intl.DateTimeFormat(undefined, {month: 'long', year: 'numeric', timeZone: 'UTC'});
const dayName = new Intl.DateTimeFormat(undefined, {weekday: 'short', day: 'numeric', timeZone: 'UTC'});
const longDay = new Intl.DateTimeFormat(undefined, {weekday: 'long', day: 'numeric', month: 'long',
                                                    year: 'numeric', timeZone: 'UTC'});

// Why a day runs what it runs, in words.
export function whyWords(day) {
  if (day.rule === 'exception') return day.name ? `Exception: ${day.name}` : 'Exception';
  if (day.rule === 'holiday') return day.name ? `Holiday: ${day.name}` : 'Holiday';
  return 'By the week';
}

export function runsWords(day) {
  return day.plan ? `Plan "${day.plan}"` : 'No bells';
}

let mode = 'month';
let anchor = todayText();
let chosen = '';

function dayCell(day, {withBells}) {
  const bells = withBells ? (day.bells || []).map((b) => el('li', {}, bellTime(b))) : [];
  return el('li', {class: 'day', data: {date: day.date, rule: day.rule || 'week', today: day.date === todayText() ? 'true' : ''}},
      el('button', {type: 'button', class: 'day-pick', 'aria-label': `${longDay.format(parts(day.date))}: show its bells`,
                    onclick: () => chooseDate(day.date)}, dayName.format(parts(day.date))),
      el('span', {class: 'day-plan'}, runsWords(day)),
      el('span', {class: 'day-why'}, whyWords(day)),
      bells.length ? el('ul', {class: 'day-bells', 'aria-label': 'Bells'}, ...bells) : null);
}

function bellTime(bell) {
  const local = String(bell.local || bell.time || '');
  const clock = local.includes('T') ? local.slice(local.indexOf('T') + 1) : local;
  return clock.length === 8 && clock.endsWith(':00') ? clock.slice(0, 5) : clock;
}

// Calls /days; the time the answer took goes to the page's performance marks.
async function daysBetween(from, to, bells) {
  const started = performance.now();
  const list = await api('GET', `/api/v1/days?from=${from}&to=${to}${bells ? '' : '&bells=false'}`);
  performance.measure(`kstbell-days-${bells ? 'bells' : 'plans'}`, {start: started, end: performance.now()});
  return Array.isArray(list) ? list : [];
}

export async function loadCalendar() {
  const grid = byId('calendar-days');
  let from, to;
  if (mode === 'month') [from, to] = monthOf(anchor);
  else [from, to] = [mondayOf(anchor), addDays(mondayOf(anchor), 6)];
  setText(byId('calendar-title'), mode === 'month' ? monthName.format(parts(from))
      : `Week of ${longDay.format(parts(from))}`);
  byId('calendar-month').setAttribute('aria-pressed', String(mode === 'month'));
  byId('calendar-week').setAttribute('aria-pressed', String(mode === 'week'));
  try {
    const days = await daysBetween(from, to, mode === 'week');
    // The month starts in its weekday's column (on a wide screen).
    const lead = mode === 'month' ? (parts(from).getUTCDay() + 6) % 7 : 0;
    const blanks = Array.from({length: lead}, () => el('li', {class: 'day-blank', 'aria-hidden': 'true'}));
    grid.dataset.mode = mode;
    grid.replaceChildren(...blanks, ...days.map((d) => dayCell(d, {withBells: mode === 'week'})));
    setText(byId('calendar-message'), '');
  } catch (error) {
    grid.replaceChildren();
    setText(byId('calendar-message'), `The days could not be read: ${describeError(error)}`);
  }
  if (chosen) await loadChosen();
}

async function loadChosen() {
  const box = byId('day-bells');
  try {
    const [day] = await daysBetween(chosen, chosen, true);
    if (!day) return;
    setText(byId('day-summary'), `${longDay.format(parts(day.date))}: ${runsWords(day)} (${whyWords(day)}).`);
    const rows = (day.bells || []).map((b) => el('tr', {},
        el('th', {scope: 'row'}, bellTime(b)), el('td', {}, b.group), el('td', {}, `Tone ${b.tone}`),
        el('td', {}, durationText(b.duration_s ?? (b.duration_ms / 1000))), el('td', {}, b.label || '')));
    if (rows.length === 0) rows.push(el('tr', {}, el('td', {colspan: 5}, 'No bells on this day.')));
    byId('day-bell-rows').replaceChildren(...rows);
    box.hidden = false;
  } catch (error) {
    setText(byId('day-summary'), `That day could not be read: ${describeError(error)}`);
    box.hidden = true;
  }
}

function chooseDate(date) {
  chosen = date;
  byId('day-date').value = date;
  loadChosen();
}

export function wireCalendar() {
  const move = (step) => {
    if (mode === 'month') {
      const at = parts(anchor);
      anchor = text(new Date(Date.UTC(at.getUTCFullYear(), at.getUTCMonth() + step, 1)));
    } else {
      anchor = addDays(anchor, 7 * step);
    }
    loadCalendar();
  };
  byId('calendar-prev').addEventListener('click', () => move(-1));
  byId('calendar-next').addEventListener('click', () => move(1));
  byId('calendar-month').addEventListener('click', () => { mode = 'month'; loadCalendar(); });
  byId('calendar-week').addEventListener('click', () => { mode = 'week'; loadCalendar(); });
  byId('day-date').addEventListener('change', (e) => {
    if (!e.target.value) return;
    chosen = e.target.value;
    anchor = chosen;
    loadCalendar();
  });
}
