// The audit log, newest first, a page at a time, filtered by time, horn, cause and kind.
// "Older entries" follows the service's cursor; "Newer entries" goes back the way it came.

import {api, describeError} from './api.js';
import {byId, dateTimeMsText, durationText, el, listOf, localInputToIso, setText} from './dom.js';
import {hornLabel, state, subscribe} from './state.js';
import {causeWords} from './words.js';

const kindWords = {
  ring: 'Ring', ring_end: 'Ring ended', alarm_start: 'Alarm started', alarm_stop: 'Alarm stopped',
  stop_all: 'Stop all', bell_fired: 'Bell rung', bell_missed: 'Bell missed',
  horn_online: 'Horn online', horn_offline: 'Horn offline', horn_stopped: 'Horn stopped',
  config_loaded: 'Configuration loaded', service_start: 'Service started',
  service_stop: 'Service stopped', exception_added: 'Exception added',
  exception_removed: 'Exception removed', timetable_changed: 'Timetable changed',
  horn_renamed: 'Horn renamed', group_changed: 'Group changed',
  login: 'Login', login_failed: 'Login failed',
  logout: 'Logout', user_added: 'User added', user_removed: 'User removed',
  user_role_changed: 'Role changed', user_password_changed: 'Password changed',
  user_disabled: 'User disabled', user_enabled: 'User enabled', token_created: 'Token created',
  token_revoked: 'Token revoked',
};

// The cursors of the pages shown so far: [first page (none), second page's, ...].
let cursors = [null];
let nextCursor = null;

function filters() {
  const query = new URLSearchParams();
  const since = localInputToIso(byId('log-since').value);
  const until = localInputToIso(byId('log-until').value);
  if (since) query.set('since', since);
  if (until) query.set('until', until);
  for (const [key, id] of [['horn', 'log-horn'], ['cause', 'log-cause'], ['kind', 'log-kind']]) {
    const value = byId(id).value.trim();
    if (value) query.set(key, value);
  }
  query.set('limit', byId('log-limit').value);
  return query;
}

function alarmLabel(name) {
  const alarm = state.alarms.get(name);
  return alarm && alarm.label ? alarm.label : name;
}

// The service's own detail, without what the columns already say or a ring's number: "ring"
// alone (a manual ring) goes, "alarm evacuation" names the alarm as people know it.
export function detailWords(detail, entry = {}) {
  return String(detail || '').split('; ').filter((part) => {
    if (part === 'ring' || part === '') return false;
    if (entry.alarm && part === `alarm ${entry.alarm}`) return false;
    return !/^ring \d+$/.test(part);
  }).map((part) => part.replace(/^alarm (\S+)/, (whole, name) =>
      state.alarms.has(name) ? `alarm ${alarmLabel(name)}` : whole)).join('; ');
}

function details(entry) {
  const parts = [];
  if (entry.group) parts.push(`group ${entry.group}`);
  if (entry.alarm) parts.push(`alarm ${alarmLabel(entry.alarm)}`);
  if (entry.tone !== undefined && entry.tone !== null) parts.push(`tone ${entry.tone}`);
  if (entry.duration_ms !== undefined && entry.duration_ms !== null) parts.push(durationText(entry.duration_ms / 1000));
  else if (entry.duration_s !== undefined && entry.duration_s !== null) parts.push(durationText(entry.duration_s));
  const detail = detailWords(entry.detail, entry);
  if (detail) parts.push(detail);
  return parts.join(', ');
}

function hornWords(entry) {
  const address = entry.horn || entry.horn_address || '';
  const horn = address ? state.horns.get(address) : null;
  return horn ? hornLabel(horn) : address;
}

function renderEntries(entries) {
  const rows = entries.map((entry) => el('tr', {data: {kind: entry.kind || ''}},
      el('td', {}, el('time', {datetime: entry.at}, dateTimeMsText(entry.at))),
      el('td', {}, kindWords[entry.kind] || entry.kind || ''),
      el('td', {}, causeWords(entry.cause, entry.actor)),
      el('td', {}, hornWords(entry)),
      el('td', {}, details(entry))));
  if (rows.length === 0) rows.push(el('tr', {}, el('td', {colspan: 5}, 'No entries match.')));
  byId('log-rows').replaceChildren(...rows);
}

async function loadPage(index) {
  const query = filters();
  if (cursors[index]) query.set('cursor', cursors[index]);
  const status = byId('log-status');
  setText(status, 'Loading…');
  try {
    const reply = await api('GET', `/api/v1/log?${query}`);
    const entries = listOf(reply, 'entries');
    renderEntries(entries);
    cursors = cursors.slice(0, index + 1);
    nextCursor = reply && reply.next_cursor ? reply.next_cursor : null;
    setText(status, `Page ${index + 1}: ${entries.length} ${entries.length === 1 ? 'entry' : 'entries'}` +
                    `${nextCursor ? '; older ones follow' : ''}.`);
  } catch (error) {
    setText(status, `The log could not be read: ${describeError(error)}`);
  }
  byId('log-newer').disabled = cursors.length <= 1;
  byId('log-older').disabled = !nextCursor;
}

export function loadLog() {
  cursors = [null];
  nextCursor = null;
  return loadPage(0);
}

function renderHornChoices() {
  byId('log-horn-choices').replaceChildren(...Array.from(state.horns.values(), (horn) =>
      el('option', {value: horn.address}, horn.name || horn.address)));
}

export function wireLog() {
  byId('log-form').addEventListener('submit', (event) => {
    event.preventDefault();
    loadLog();
  });
  byId('log-older').addEventListener('click', () => {
    if (!nextCursor) return;
    cursors.push(nextCursor);
    loadPage(cursors.length - 1);
  });
  byId('log-newer').addEventListener('click', () => {
    if (cursors.length > 1) loadPage(cursors.length - 2);
  });
  subscribe('horn-set', renderHornChoices);
}
