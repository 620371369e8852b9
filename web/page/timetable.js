// Today's timetable with the next bell and a countdown to it, second by second. Loaded at the
// start and again whenever a bell rings or is missed (told by the event stream), so its states
// move on without polling; the countdown runs on the page's own clock.

import {api, describeError} from './api.js';
import {byId, clockText, durationText, el, listOf, setText} from './dom.js';

const stateWords = {past: 'Rung', next: 'Next', upcoming: 'Later', missed: 'Missed'};
let showPast = false;

// The bell's time at the site ("08:00", or "08:00:30"), from its local date and time.
export function bellTime(bell) {
  const local = String(bell.local || '');
  const clock = local.includes('T') ? local.slice(local.indexOf('T') + 1) : local;
  if (!/^\d\d:\d\d/.test(clock)) return clockText(bell.at);
  return clock.endsWith(':00') && clock.length === 8 ? clock.slice(0, 5) : clock;
}

function ruleText(day) {
  const name = day.name ? ` "${day.name}"` : '';
  if (day.rule === 'week') return 'by the week';
  if (day.rule === 'exception') return `by the exception${name}`;
  if (day.rule === 'holiday') return `a holiday${name}`;
  return day.rule || '';
}

function bellLength(bell) {
  if (bell.duration_s !== undefined) return durationText(bell.duration_s);
  if (bell.duration_ms !== undefined) return durationText(bell.duration_ms / 1000);
  return durationText(bell.duration);
}

function describeBell(bell) {
  return `${bellTime(bell)}, group ${bell.group}, tone ${bell.tone}, ${bellLength(bell)}`;
}

function renderToday(today) {
  const bells = listOf(today, 'bells');
  const dayParts = [];
  if (today.date) dayParts.push(`${today.date}:`);
  dayParts.push(today.plan ? `plan "${today.plan}"` : 'no bells');
  const rule = ruleText(today);
  if (rule) dayParts.push(`(${rule})`);
  setText(byId('timetable-day'), dayParts.join(' '));

  const pastCount = bells.filter((b) => b.state === 'past' || b.state === 'missed').length;
  const rows = bells.map((bell) => {
    const isPast = bell.state === 'past' || bell.state === 'missed';
    return el('tr', {class: `bell bell-${bell.state || 'upcoming'}`, data: {state: bell.state || ''},
                     hidden: isPast && !showPast},
              el('th', {scope: 'row'}, bellTime(bell)), el('td', {}, bell.group),
              el('td', {}, bell.tone), el('td', {}, bellLength(bell)),
              el('td', {}, stateWords[bell.state] || bell.state || ''));
  });
  byId('bell-rows').replaceChildren(...rows);
  const toggle = byId('timetable-past');
  toggle.hidden = pastCount === 0;
  toggle.setAttribute('aria-expanded', String(showPast));
  setText(toggle, showPast ? 'Hide earlier bells' : `Show earlier bells (${pastCount})`);
  return bells.find((b) => b.state === 'next') || bells.find((b) => b.state === 'upcoming');
}

// "in 1 h 2 min 5 s" until an instant; "now" when it has come.
export function countdownText(atMs, nowMs) {
  const seconds = Math.ceil((atMs - nowMs) / 1000);
  if (!(seconds > 0)) return 'now';
  return `in ${durationText(seconds)}`;
}

let nextAt = null;      // the next bell's instant (ms), while one is known
let countdownTimer = 0;
let reloadAsked = false;

function tick() {
  const node = byId('next-countdown');
  if (nextAt === null) {
    setText(node, '');
    return;
  }
  const now = Date.now();
  setText(node, countdownText(nextAt, now));
  // Its bell event reloads the timetable; without one (no horn reached) the page does it
  // once, a little after the bell's time.
  if (now > nextAt + 3000 && !reloadAsked) {
    reloadAsked = true;
    loadTimetable();
  }
}

function countDownTo(bell) {
  const at = bell ? Date.parse(bell.at) : NaN;
  nextAt = Number.isNaN(at) ? null : at;
  reloadAsked = false;
  tick();
  if (!countdownTimer) {
    // On the second, so that the count moves with the clock.
    countdownTimer = setTimeout(function again() {
      tick();
      countdownTimer = setTimeout(again, 1000 - (Date.now() % 1000) + 5);
    }, 1000 - (Date.now() % 1000) + 5);
  }
}

async function renderNext(nextToday) {
  const node = byId('next-bell');
  if (nextToday) {
    setText(node, `Today ${describeBell(nextToday)}`);
    countDownTo(nextToday);
    return;
  }
  try {
    const next = listOf(await api('GET', '/api/v1/schedule/next?count=1'), 'bells')[0];
    const day = next && (next.date || String(next.local || '').slice(0, 10));
    setText(node, next ? `${day} ${describeBell(next)}` : 'No bells are coming.');
    countDownTo(next);
  } catch (error) {
    setText(node, `The next bell is not known: ${describeError(error)}`);
    countDownTo(null);
  }
}

export function stopCountdown() {
  clearTimeout(countdownTimer);
  countdownTimer = 0;
  nextAt = null;
}

let loading = null;

export async function loadTimetable() {
  if (loading) return loading;
  loading = (async () => {
    try {
      const today = await api('GET', '/api/v1/schedule/today');
      await renderNext(renderToday(today || {}));
    } catch (error) {
      setText(byId('timetable-day'), `The timetable could not be read: ${describeError(error)}`);
    } finally {
      loading = null;
    }
  })();
  return loading;
}

export function wireTimetable() {
  byId('timetable-past').addEventListener('click', () => {
    showPast = !showPast;
    for (const row of byId('bell-rows').querySelectorAll('tr')) {
      if (row.dataset.state === 'past' || row.dataset.state === 'missed') row.hidden = !showPast;
    }
    const toggle = byId('timetable-past');
    toggle.setAttribute('aria-expanded', String(showPast));
    const count = byId('bell-rows').querySelectorAll('tr[data-state="past"], tr[data-state="missed"]').length;
    setText(toggle, showPast ? 'Hide earlier bells' : `Show earlier bells (${count})`);
  });
}
