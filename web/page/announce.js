// What a screen reader says of changes people must hear: urgent ones (a horn going offline, an
// alarm) interrupt, the rest wait their turn. Horns that go offline together are told as one
// message, not fifty.

import {byId} from './dom.js';

const keep = 20;  // messages kept in each region; older ones are removed

function append(regionId, message) {
  const region = byId(regionId);
  if (!region || !message) return;
  region.append(Object.assign(document.createElement('p'), {textContent: message}));
  while (region.childElementCount > keep) region.firstElementChild.remove();
}

export function announce(message) {
  append('announce-polite', message);
}

export function announceUrgent(message) {
  append('announce-urgent', message);
}

const gathered = {offline: [], online: []};
let flushTimer = 0;

function flush() {
  flushTimer = 0;
  const {offline, online} = gathered;
  if (offline.length === 1) announceUrgent(`Horn ${offline[0]} is offline.`);
  else if (offline.length > 1 && offline.length <= 5) announceUrgent(`Horns offline: ${offline.join(', ')}.`);
  else if (offline.length > 5) announceUrgent(`${offline.length} horns went offline.`);
  if (online.length === 1) announce(`Horn ${online[0]} is back online.`);
  else if (online.length > 1) announce(`${online.length} horns are back online.`);
  gathered.offline = [];
  gathered.online = [];
}

// label: the horn's name and address; online: its new presence.
export function announcePresence(label, online) {
  (online ? gathered.online : gathered.offline).push(label);
  if (!flushTimer) flushTimer = setTimeout(flush, 400);
}

// The visible notice under the banner: errors and news that need no particular section.
export function notice(message) {
  byId('notice').textContent = message || '';
  byId('notice-box').hidden = !message;
}

export function wireNotice() {
  byId('notice-close').addEventListener('click', () => {
    notice('');
    byId('main').focus();
  });
}
