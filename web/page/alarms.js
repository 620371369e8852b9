// The alarms: each with its state in words; starting one asks for a confirmation, stopping one
// does not. An alarm that starts or stops is said aloud and shown in the banner.

import {announceUrgent} from './announce.js';
import {api, describeError} from './api.js';
import {confirmAction} from './confirm.js';
import {byId, el} from './dom.js';
import {allows, publish, state} from './state.js';

function labelOf(alarm) {
  return alarm.label || alarm.name;
}

function renderBanner() {
  const sounding = Array.from(state.alarms.values()).filter((a) => a.sounding).map(labelOf);
  const banner = byId('alarm-banner');
  banner.textContent = sounding.length ? `Alarm sounding: ${sounding.join(', ')}` : '';
  banner.hidden = sounding.length === 0;
}

export function renderAlarms() {
  const items = Array.from(state.alarms.values(), (alarm) => {
    const label = labelOf(alarm);
    const stateText = alarm.sounding ? 'Sounding' : 'Quiet';
    const item = el('li', {class: 'alarm', data: {alarm: alarm.name, sounding: String(!!alarm.sounding)}},
                    el('span', {class: 'alarm-label'}, label),
                    el('span', {class: 'lamp', data: {lamp: 'alarm', state: alarm.sounding ? 'on' : 'off'}},
                       el('span', {class: 'dot', 'aria-hidden': 'true'}),
                       el('span', {class: 'lamp-text'}, stateText)),
                    alarm.priority !== undefined ? el('span', {class: 'alarm-priority'}, `priority ${alarm.priority}`) : null);
    if (allows('operate')) {
      item.append(alarm.sounding
          ? el('button', {type: 'button', class: 'alarm-stop', 'aria-label': `Stop alarm ${label}`,
                          onclick: () => stopAlarm(alarm)}, 'Stop')
          : el('button', {type: 'button', class: 'alarm-start danger', 'aria-label': `Start alarm ${label}`,
                          onclick: () => startAlarm(alarm)}, 'Start…'));
    }
    return item;
  });
  const list = byId('alarm-list');
  const focused = document.activeElement && list.contains(document.activeElement)
      ? document.activeElement.closest('li').dataset.alarm : null;
  list.replaceChildren(...items);
  if (items.length === 0) list.append(el('li', {class: 'empty'}, 'The site has no alarms.'));
  // A start or stop replaces the buttons: keep the keyboard on the same alarm.
  if (focused) {
    const button = list.querySelector(`li[data-alarm="${CSS.escape(focused)}"] button`);
    if (button) button.focus();
  }
  renderBanner();
  publish('alarms');
}

export function setAlarms(list) {
  // A snapshot that changes nothing keeps the buttons in place (and the finger on them).
  if (JSON.stringify(list) === JSON.stringify(Array.from(state.alarms.values()))) return;
  state.alarms.clear();
  for (const alarm of list) state.alarms.set(alarm.name, alarm);
  renderAlarms();
}

// An alarm's change from the event stream: {name, sounding, ...}.
export function updateAlarm(change) {
  if (!change || !change.name) return;
  const before = state.alarms.get(change.name) || {};
  const alarm = {...before, ...change};
  state.alarms.set(alarm.name, alarm);
  if (!!before.sounding !== !!alarm.sounding) {
    announceUrgent(`Alarm ${labelOf(alarm)} ${alarm.sounding ? 'started' : 'stopped'}.`);
  }
  renderAlarms();
}

async function startAlarm(alarm) {
  const label = labelOf(alarm);
  const confirmed = await confirmAction({
    title: `Start the alarm "${label}"?`,
    text: 'Its horns sound at once, above every bell and manual ring, until it ends or is stopped.',
    confirmLabel: `Start ${label}`,
  });
  const message = byId('alarms-message');
  if (!confirmed) {
    message.textContent = `${label} not started.`;
    return;
  }
  try {
    await api('POST', `/api/v1/alarms/${encodeURIComponent(alarm.name)}/start`);
    message.textContent = `${label} started.`;
  } catch (error) {
    message.textContent = `${label} not started: ${describeError(error)}`;
  }
}

async function stopAlarm(alarm) {
  const label = labelOf(alarm);
  const message = byId('alarms-message');
  try {
    await api('POST', `/api/v1/alarms/${encodeURIComponent(alarm.name)}/stop`);
    message.textContent = `${label} stopped.`;
  } catch (error) {
    message.textContent = `${label} not stopped: ${describeError(error)}`;
  }
}
