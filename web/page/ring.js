// "Ring now" (a group or chosen horns, a tone, a length) and "Stop all", which is always on
// screen for those who may ring and asks for no confirmation.

import {announce, announceUrgent, notice} from './announce.js';
import {api, describeError} from './api.js';
import {byId, clockText, durationText, el} from './dom.js';
import {forgetRing} from './horns.js';
import {hornLabel, state, subscribe} from './state.js';
import {stoppedWords} from './words.js';

function target() {
  return byId('ring-form').querySelector('input[name="ring-target"]:checked').value;
}

function showTarget() {
  const byGroup = target() === 'group';
  byId('ring-group-field').hidden = !byGroup;
  byId('ring-horns-field').hidden = byGroup;
}

export function renderRingChoices() {
  const group = byId('ring-group');
  const chosenGroup = group.value;
  // No group chosen at first: "Ring now" never rings every horn by default.
  group.replaceChildren(el('option', {value: ''}, 'Choose a group'),
                        ...state.groups.map((g) => el('option', {value: g.name}, g.name)));
  if (state.groups.some((g) => g.name === chosenGroup)) group.value = chosenGroup;

  const horns = byId('ring-horns');
  const chosen = new Set(Array.from(horns.selectedOptions, (o) => o.value));
  horns.replaceChildren(...Array.from(state.horns.values(), (horn) =>
      el('option', {value: horn.address, selected: chosen.has(horn.address)}, hornLabel(horn))));
}

// What a started ring says of itself: "Ringing 25 horns until 10:31:03 (clamped to 3 min)".
export function ringText(ring) {
  const horns = Array.isArray(ring.horns) ? ring.horns.length : 0;
  let text = `Ring started on ${horns} ${horns === 1 ? 'horn' : 'horns'}`;
  if (ring.end) text += ` until ${clockText(ring.end)}`;
  if (ring.clamped) {
    const length = ring.start && ring.end ? (Date.parse(ring.end) - Date.parse(ring.start)) / 1000 : null;
    text += length ? ` (shortened to the site's longest ring, ${durationText(length)})`
                   : ' (shortened to the site\'s longest ring)';
  }
  const others = Array.isArray(ring.held_by_others) ? ring.held_by_others.length : 0;
  if (others) text += `; ${others} held by a ring of higher priority`;
  if (Array.isArray(ring.switched_on)) {
    text += `; ${ring.switched_on.length} of ${horns} switched on`;
    const notOn = Array.isArray(ring.not_switched_on) ? ring.not_switched_on : [];
    if (notOn.length) {
      text += '; not switched on: ' +
          notOn.map((h) => `${hornLabel(state.horns.get(h.horn)) || h.horn} ` +
                           `(${String(h.reason).replace(/_/g, ' ')})`).join(', ');
    }
    const pending = Array.isArray(ring.pending) ? ring.pending.length : 0;
    if (pending) text += `; ${pending} not answered yet`;
  }
  return `${text}.`;
}

async function submitRing(event) {
  event.preventDefault();
  const message = byId('ring-message');
  const duration = Number(byId('ring-duration').value);
  if (!Number.isInteger(duration) || duration < 1) {
    message.textContent = 'Give the duration as whole seconds, 1 or more.';
    byId('ring-duration').focus();
    return;
  }
  const request = {tone: Number(byId('ring-tone').value), duration_s: duration};
  if (target() === 'group') {
    if (!byId('ring-group').value) {
      message.textContent = 'Choose a group.';
      byId('ring-group').focus();
      return;
    }
    request.group = byId('ring-group').value;
  } else {
    request.horns = Array.from(byId('ring-horns').selectedOptions, (o) => o.value);
    if (request.horns.length === 0) {
      message.textContent = 'Choose at least one horn.';
      byId('ring-horns').focus();
      return;
    }
  }
  message.textContent = 'Ringing…';
  try {
    const reply = await api('POST', '/api/v1/ring', request);
    message.textContent = reply && reply.ring ? ringText(reply.ring) : 'Ring started.';
  } catch (error) {
    message.textContent = `Not rung: ${describeError(error)}`;
  }
}

let stopMessageTimer = 0;

// What a stop all did, said beside its button for a while (and to a screen reader).
function sayStopped(text) {
  const node = byId('stop-all-message');
  node.textContent = text;
  node.hidden = false;
  clearTimeout(stopMessageTimer);
  stopMessageTimer = setTimeout(() => {
    node.hidden = true;
    node.textContent = '';
  }, 20000);
}

// Never disabled, not even while a press is on its way: pressing again sends again.
async function stopAll() {
  try {
    const reply = await api('POST', '/api/v1/stop-all');
    const text = stoppedWords(reply);
    // What the forms said of rings and alarms they started is over now.
    for (const id of ['ring-message', 'alarms-message']) byId(id).textContent = '';
    forgetRing();
    sayStopped(text);
    announce(text);
    notice('');
  } catch (error) {
    announceUrgent(`Stop all failed: ${describeError(error)}`);
    sayStopped(`Stop all failed: ${describeError(error)}`);
    notice(`Stop all failed: ${describeError(error)}`);
  }
}

export function wireRing() {
  byId('ring-form').addEventListener('submit', submitRing);
  for (const radio of byId('ring-form').querySelectorAll('input[name="ring-target"]')) {
    radio.addEventListener('change', showTarget);
  }
  byId('stop-all').addEventListener('click', stopAll);
  // The room the page keeps under its last control is the bar's height as it is (its message
  // shown or not, its text larger or not).
  const bar = byId('stop-all-bar');
  new ResizeObserver(() => {
    document.documentElement.style.setProperty('--bar-space', `${bar.offsetHeight}px`);
  }).observe(bar);
  subscribe('horn-set', renderRingChoices);
  subscribe('groups', renderRingChoices);
  showTarget();
}
