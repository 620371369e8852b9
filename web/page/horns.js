// The horns: one card each with its lamps (online, output, input) and signal, each lamp with
// its state in words; changes from the event stream update only the card they concern. Cards
// stand in their group (a horn in several: the first the site names), offline ones first.

import {announcePresence} from './announce.js';
import {api, describeError} from './api.js';
import {byId, clockText, el, setText, show} from './dom.js';
import {notice} from './announce.js';
import {allows, hornLabel, publish, state} from './state.js';
import {ringWords} from './words.js';

const cards = new Map();  // address -> {root, parts}
// Where each horn's name is set (GET /groups/settings): address -> 'file' | 'database'.
const nameSources = new Map();
const blocks = new Map();  // group name -> {root, title, list}

// true, false, or null when not heard from yet.
export function onlineOf(horn) {
  if (typeof horn.online === 'boolean') return horn.online;
  if (horn.presence === 'online') return true;
  if (horn.presence === 'offline') return false;
  return null;
}

// Signal in words and bars (0..4) from the received strength in dBm.
export function signalOf(rssi) {
  if (rssi === undefined || rssi === null || Number.isNaN(Number(rssi))) {
    return {bars: 0, text: 'Signal unknown'};
  }
  const dbm = Number(rssi);
  const [bars, word] = dbm >= -55 ? [4, 'excellent'] : dbm >= -65 ? [3, 'good']
                     : dbm >= -75 ? [2, 'fair'] : [1, 'weak'];
  return {bars, text: `Signal ${dbm} dBm, ${word}`};
}

function lamp(name) {
  const text = el('span', {class: 'lamp-text'});
  const root = el('li', {class: 'lamp', data: {lamp: name}},
                  el('span', {class: 'dot', 'aria-hidden': 'true'}), text);
  return {root, text};
}

function buildCard(address) {
  const name = el('h4', {class: 'horn-name'});
  const addressText = el('span', {class: 'horn-address', hidden: true}, address);
  const online = lamp('online');
  const output = lamp('output');
  const input = lamp('input');
  const bars = el('span', {class: 'bars', 'aria-hidden': 'true'},
                  el('span'), el('span'), el('span'), el('span'));
  const signalText = el('span', {class: 'lamp-text'});
  const signal = el('li', {class: 'signal', data: {lamp: 'signal'}}, bars, signalText);
  const lamps = el('ul', {class: 'lamps'}, online.root, output.root, input.root, signal);
  const ring = el('p', {class: 'horn-ring', hidden: true});
  const details = el('p', {class: 'horn-details'});
  const foot = el('div', {class: 'horn-foot'}, details);
  const root = el('li', {class: 'horn', data: {address}},
                  el('div', {class: 'horn-head'}, name, addressText), lamps, ring, foot);
  const rename = allows('administer') ? buildRename(address) : null;
  if (rename) root.append(rename.root);
  let stop = null;
  if (allows('operate')) {
    stop = el('button', {type: 'button', class: 'stop-horn', onclick: () => stopHorn(address)},
              'Stop this horn');
    foot.append(stop);
  }
  return {root, name, addressText, lamps, online, output, input, signal, signalText, ring, details,
          stop, rename};
}

// An admin's small form on a card: the horn's name, where the site file does not set it.
function buildRename(address) {
  const id = `rename-${address.replace(/[^A-Za-z0-9_-]/g, '_')}`;
  const input = el('input', {id, type: 'text', maxlength: 200, spellcheck: 'false',
                             autocomplete: 'off', class: 'rename-input'});
  const error = el('p', {class: 'rename-error', role: 'status'});
  const save = el('button', {type: 'submit', class: 'rename-save'}, 'Save name');
  const form = el('form', {class: 'horn-rename', hidden: true},
                  el('label', {for: id}, 'Name'), input, save, error);
  const fileOwned = el('p', {class: 'rename-file', hidden: true}, 'Name: Set in the site file');
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    setText(error, '');
    save.disabled = true;
    try {
      const horn = await api('PUT', `/api/v1/horns/${encodeURIComponent(address)}/name`,
                             {name: input.value.trim()});
      if (horn) updateHorn(horn);
      setText(error, 'Saved.');
    } catch (failure) {
      setText(error, describeError(failure));
    } finally {
      save.disabled = false;
    }
  });
  return {root: el('div', {class: 'horn-rename-box'}, form, fileOwned), form, input, fileOwned};
}

function renderRename(card, horn) {
  if (!card.rename) return;
  const source = nameSources.get(horn.address);
  show(card.rename.form, source === 'database');
  show(card.rename.fileOwned, source === 'file');
  const input = card.rename.input;
  if (document.activeElement !== input) input.value = horn.name || '';
  input.setAttribute('aria-label', `Name of ${horn.address}`);
}

// Takes where each horn's name is set (the answer of GET /groups/settings).
export function setNameSources(settings) {
  nameSources.clear();
  for (const horn of (settings && settings.horns) || []) nameSources.set(horn.address, horn.source);
  for (const [address, card] of cards) {
    const horn = state.horns.get(address);
    if (horn) renderRename(card, horn);
  }
}

function setLamp(part, on, text) {
  const value = on === null ? 'unknown' : on ? 'on' : 'off';
  if (part.root.dataset.state !== value) part.root.dataset.state = value;
  setText(part.text, text);
}

function renderCard(card, horn) {
  const label = hornLabel(horn);
  setText(card.name, horn.name || horn.address);
  // A horn with no name of its own is named by its address: say it once.
  show(card.addressText, !!horn.name && horn.name !== horn.address);
  card.lamps.setAttribute('aria-label', `State of ${label}`);
  const online = onlineOf(horn);
  setLamp(card.online, online, online === null ? 'Not heard yet' : online ? 'Online' : 'Offline');
  const tone = horn.tone !== undefined && horn.tone !== null ? `, tone ${horn.tone}` : '';
  setLamp(card.output, !!horn.output, horn.output ? `Output on${tone}` : 'Output off');
  setLamp(card.input, !!horn.input, horn.input ? 'Input on' : 'Input off');
  const signal = signalOf(horn.rssi_dbm);
  if (card.signal.dataset.bars !== String(signal.bars)) card.signal.dataset.bars = signal.bars;
  setText(card.signalText, signal.text);
  const ring = horn.ring;
  show(card.ring, !!ring);
  if (ring) setText(card.ring, `Held by ${ringWords(ring, alarmLabels())}${ring.end ? ` until ${clockText(ring.end)}` : ''}`);
  const details = [];
  if (horn.location) details.push(horn.location);
  if (horn.firmware) details.push(`firmware ${horn.firmware}`);
  if (horn.id) details.push(horn.id);
  if (horn.armed) details.push('armed');
  setText(card.details, details.join(' · '));
  if (card.stop) card.stop.setAttribute('aria-label', `Stop this horn: ${label}`);
  card.root.dataset.online = online === null ? 'unknown' : String(online);
  card.root.dataset.output = horn.output ? 'on' : 'off';
  renderRename(card, horn);
}

// Alarm name -> the label people know it by.
export function alarmLabels() {
  const labels = {};
  for (const alarm of state.alarms.values()) labels[alarm.name] = alarm.label || alarm.name;
  return labels;
}

async function stopHorn(address) {
  try {
    await api('POST', `/api/v1/horns/${encodeURIComponent(address)}/stop`);
  } catch (error) {
    notice(`Could not stop ${hornLabel(state.horns.get(address))}: ${describeError(error)}`);
  }
}

const stateFilters = {
  offline: (horn) => onlineOf(horn) !== true,
  sounding: (horn) => !!horn.output,
  input: (horn) => !!horn.input,
};

function filterMatches(horn) {
  const group = byId('horns-filter-group').value;
  if (group && !groupHas(group, horn)) return false;
  const wanted = stateFilters[byId('horns-filter-state').value];
  if (wanted && !wanted(horn)) return false;
  const text = byId('horns-filter-text').value.trim().toLowerCase();
  if (!text) return true;
  return [horn.name, horn.address, horn.location, horn.id]
      .some((value) => value && String(value).toLowerCase().includes(text));
}

const members = new WeakMap();  // group -> Set of its addresses

export function groupHas(groupName, horn) {
  if (groupName === 'all') return true;
  const group = state.groups.find((g) => g.name === groupName);
  if (group && Array.isArray(group.horns)) {
    if (!members.has(group)) members.set(group, new Set(group.horns));
    return members.get(group).has(horn.address);
  }
  return Array.isArray(horn.groups) && horn.groups.includes(groupName);
}

function applyFilter() {
  for (const [address, card] of cards) {
    const horn = state.horns.get(address);
    show(card.root, !!horn && filterMatches(horn));
  }
  for (const block of blocks.values()) {
    show(block.root, Array.from(block.list.children).some((card) => !card.hidden));
  }
  renderSummary();
}

// The group a horn's card stands in: the first group of the site's (but "all") that holds it.
export function homeGroupOf(horn) {
  for (const group of state.groups) {
    if (group.name !== 'all' && groupHas(group.name, horn)) return group.name;
  }
  return '';
}

// Offline first, then not heard yet, then online; by name (numbers as numbers) within each.
const presenceRank = (horn) => ({false: 0, null: 1, true: 2})[String(onlineOf(horn))];
const byName = new Intl.Collator(undefined, {numeric: true, sensitivity: 'base'});

export function hornOrder(a, b) {
  return presenceRank(a) - presenceRank(b) ||
         byName.compare(a.name || a.address, b.name || b.address) ||
         byName.compare(a.address, b.address);
}

// Puts each group's cards in order again, moving only when the order changed (a moved card
// would lose the keyboard's focus).
function reorder() {
  reorderPending = false;
  for (const block of blocks.values()) {
    const present = Array.from(block.list.children);
    const wanted = present.slice().sort((x, y) =>
        hornOrder(state.horns.get(x.dataset.address), state.horns.get(y.dataset.address)));
    if (wanted.every((card, i) => card === present[i])) continue;
    block.list.append(...wanted);
  }
  renderGroupTitles();
}

let reorderPending = false;

function reorderSoon() {
  if (reorderPending) return;
  reorderPending = true;
  requestAnimationFrame(reorder);
}

function renderGroupTitles() {
  for (const [name, block] of blocks) {
    let total = 0, offline = 0;
    for (const card of block.list.children) {
      total += 1;
      if (onlineOf(state.horns.get(card.dataset.address)) === false) offline += 1;
    }
    const label = name ? `Group ${name}` : blocks.size === 1 ? 'All horns' : 'Other horns';
    setText(block.title, `${label}: ${total} ${total === 1 ? 'horn' : 'horns'}` +
                         `${offline ? `, ${offline} offline` : ''}`);
    block.root.dataset.offline = String(offline > 0);
  }
}

function renderSummary() {
  let online = 0, offline = 0, sounding = 0;
  for (const horn of state.horns.values()) {
    const presence = onlineOf(horn);
    if (presence === true) online += 1;
    else if (presence === false) offline += 1;
    if (horn.output) sounding += 1;
  }
  const total = state.horns.size;
  let shown = 0;
  for (const card of cards.values()) shown += card.root.hidden ? 0 : 1;
  setText(byId('horns-summary'),
          `${total} ${total === 1 ? 'horn' : 'horns'}: ${online} online, ${offline} offline, ` +
          `${sounding} sounding.${shown < total ? ` Showing ${shown}.` : ''}`);
}

function block(name) {
  if (!blocks.has(name)) {
    const title = el('h3', {class: 'horn-group-name'});
    const list = el('ul', {class: 'horn-cards', 'aria-label': name ? `Horns of group ${name}` : 'Horns'});
    blocks.set(name, {root: el('section', {class: 'horn-group', data: {group: name}}, title, list),
                      title, list});
  }
  return blocks.get(name);
}

// Rebuilds the list (a new set of horns or groups, or the role changed).
export function renderHorns() {
  const list = byId('horn-list');
  cards.clear();
  blocks.clear();
  for (const group of state.groups) if (group.name !== 'all') block(group.name);
  for (const horn of Array.from(state.horns.values()).sort(hornOrder)) {
    const card = buildCard(horn.address);
    renderCard(card, horn);
    cards.set(horn.address, card);
    block(homeGroupOf(horn)).list.append(card.root);
  }
  for (const [name, b] of blocks) if (!b.list.childElementCount) blocks.delete(name);
  list.replaceChildren(...Array.from(blocks.values(), (b) => b.root));
  renderGroupTitles();
  applyFilter();
  publish('horn-set');
  publish('horns');
}

// Takes a whole list (from GET /horns or a snapshot).
export function setHorns(list, {announceChanges = true} = {}) {
  const sameSet = list.length === state.horns.size && list.every((h) => state.horns.has(h.address));
  if (!sameSet) {
    state.horns.clear();
    for (const horn of list) state.horns.set(horn.address, horn);
    renderHorns();
    return;
  }
  for (const horn of list) updateHorn(horn, {announceChanges});
}

// Takes one horn's new state, whole or in part ({address, online} for a presence change).
export function updateHorn(change, {announceChanges = true} = {}) {
  if (!change || !change.address) return;
  const before = state.horns.get(change.address);
  const horn = {...(before || {}), ...change};
  // A whole horn without a ring is held by none; a presence change says nothing of rings.
  if (change.ring === null || ('output' in change && !('ring' in change))) delete horn.ring;
  state.horns.set(horn.address, horn);
  if (!before) {
    renderHorns();
    return;
  }
  const card = cards.get(horn.address);
  if (card) {
    renderCard(card, horn);
    show(card.root, filterMatches(horn));
  }
  const was = onlineOf(before);
  const now = onlineOf(horn);
  if (announceChanges && was !== null && now !== null && was !== now) {
    announcePresence(hornLabel(horn), now);
  }
  if (was !== now) reorderSoon();
  if (!summaryPending) {
    summaryPending = true;
    requestAnimationFrame(() => {
      summaryPending = false;
      renderSummary();
    });
  }
  publish('horns');
}

let summaryPending = false;

// A ring that ended (by its end, a stop or a stop all) holds no horn any more, though a ring
// that ends in a silent step switches nothing off and so brings no horn's change: its horns'
// cards forget it here. id: the ring's; none: every ring (a stop all).
export function forgetRing(id) {
  for (const horn of state.horns.values()) {
    if (!horn.ring || (id !== undefined && horn.ring.id !== id)) continue;
    updateHorn({address: horn.address, ring: null});
  }
}

export function wireHornFilters() {
  byId('horns-filter-group').addEventListener('change', applyFilter);
  byId('horns-filter-state').addEventListener('change', applyFilter);
  byId('horns-filter-text').addEventListener('input', applyFilter);
}

// The group filter's choices.
export function renderGroupFilter() {
  const select = byId('horns-filter-group');
  const chosen = select.value;
  select.replaceChildren(el('option', {value: ''}, 'All groups'),
                         ...state.groups.filter((g) => g.name !== 'all')
                             .map((g) => el('option', {value: g.name}, g.name)));
  select.value = state.groups.some((g) => g.name === chosen) ? chosen : '';
  applyFilter();
}
