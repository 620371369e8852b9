// What sounds now, at the top of Today: the alarms sounding (each with its Stop for those who
// may), the rings holding horns, named by what they are, and horns whose output is on with no
// ring of the service's. Read from the horns and alarms the page already follows, so it changes
// with every event and never asks the service itself.

import {api, describeError} from './api.js';
import {byId, clockText, el, setText} from './dom.js';
import {alarmLabels} from './horns.js';
import {allows, state, subscribe} from './state.js';
import {countWords, ringWords} from './words.js';

function capital(text) {
  return text ? text[0].toUpperCase() + text.slice(1) : text;
}

// The rings holding horns now: id -> {ring, horns}.
function ringsNow() {
  const rings = new Map();
  for (const horn of state.horns.values()) {
    if (!horn.ring) continue;
    const entry = rings.get(horn.ring.id) || {ring: horn.ring, horns: 0};
    entry.horns += 1;
    rings.set(horn.ring.id, entry);
  }
  return rings;
}

async function stopAlarm(alarm) {
  const label = alarm.label || alarm.name;
  try {
    await api('POST', `/api/v1/alarms/${encodeURIComponent(alarm.name)}/stop`);
  } catch (error) {
    setText(byId('now-summary'), `${label} not stopped: ${describeError(error)}`);
  }
}

let pending = false;
let shown = '';  // what the list says now: it is built again only when that changes

export function renderNow() {
  pending = false;
  const items = [];
  const alarms = Array.from(state.alarms.values()).filter((a) => a.sounding);
  const alarmRings = new Set(alarms.map((a) => a.ring && a.ring.id).filter((id) => id !== undefined));
  const alarmNames = new Set(alarms.map((a) => a.name));
  for (const alarm of alarms) {
    const label = alarm.label || alarm.name;
    const until = alarm.ring && alarm.ring.end ? ` until ${clockText(alarm.ring.end)}` : '';
    const item = el('li', {class: 'now-item now-alarm', data: {alarm: alarm.name}},
                    el('span', {class: 'now-what'}, `Alarm ${label}${until}`));
    if (allows('operate')) {
      item.append(el('button', {type: 'button', class: 'danger now-stop',
                                'aria-label': `Stop the alarm ${label}`,
                                onclick: () => stopAlarm(alarm)}, 'Stop alarm'));
    }
    items.push(item);
  }
  let rings = 0;
  const labels = alarmLabels();
  for (const [id, {ring, horns}] of ringsNow()) {
    if (alarmRings.has(id) || (ring.cause !== 'schedule' && alarmNames.has(ring.label))) continue;
    rings += 1;
    const until = ring.end ? ` until ${clockText(ring.end)}` : '';
    items.push(el('li', {class: 'now-item now-ring'},
                  el('span', {class: 'now-what'},
                     `${capital(ringWords(ring, labels))}: ${countWords(horns, 'horn')}${until}`)));
  }
  let loose = 0;
  for (const horn of state.horns.values()) if (horn.output && !horn.ring) loose += 1;
  if (loose) {
    items.push(el('li', {class: 'now-item now-loose'},
                  el('span', {class: 'now-what'},
                     `${countWords(loose, 'horn')} sounding with no ring of the site's ` +
                     '(switched on at the horn)')));
  }
  // An alarm's horns switch on and off with its steps: its Stop stays the same button, so
  // that a finger on it is not lifted from another one.
  const said = items.map((item) => item.textContent).join('\n') + `\n${allows('operate')}`;
  if (said !== shown) {
    shown = said;
    byId('now-list').replaceChildren(...items);
  }
  const parts = [];
  if (alarms.length) parts.push(countWords(alarms.length, 'alarm'));
  if (rings) parts.push(countWords(rings, 'ring'));
  if (loose) parts.push(countWords(loose, 'horn') + ' on their own');
  setText(byId('now-summary'), parts.length ? `Sounding: ${parts.join(', ')}.` : 'Nothing sounds.');
  byId('now').dataset.sounding = String(items.length > 0);
}

function renderSoon() {
  if (pending) return;
  pending = true;
  requestAnimationFrame(renderNow);
}

export function wireNow() {
  subscribe('horns', renderSoon);
  subscribe('alarms', renderSoon);
}
