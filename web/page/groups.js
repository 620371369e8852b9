// The groups: how many horns each holds, how many of them answer and how many sound. Recounted
// at most once a frame however many horns change at once. Where the site file has no [groups],
// an admin adds, changes and removes groups here by ticking horns; where it has, they are
// shown read only.

import {api, describeError} from './api.js';
import {byId, el, setText, show} from './dom.js';
import {groupHas, onlineOf, renderGroupFilter, renderHorns, setNameSources} from './horns.js';
import {allows, hornLabel, publish, state, subscribe} from './state.js';

let pending = false;
let source = '';  // where the groups are set: 'file', 'database', or '' before it is known
let reloading = false;  // the groups are read here: their settings with them

function editable() {
  return source === 'database' && allows('administer');
}

export function renderGroups() {
  pending = false;
  const rows = state.groups.map((group) => {
    let total = 0, online = 0, sounding = 0;
    for (const horn of state.horns.values()) {
      if (!groupHas(group.name, horn)) continue;
      total += 1;
      if (onlineOf(horn) === true) online += 1;
      if (horn.output) sounding += 1;
    }
    const row = el('tr', {data: {group: group.name}},
                   el('th', {scope: 'row'}, group.name), el('td', {}, total), el('td', {}, online),
                   el('td', {}, sounding));
    if (editable()) {
      const actions = el('td', {class: 'group-actions'});
      if (group.name !== 'all') {
        actions.append(
            el('button', {type: 'button', class: 'group-edit', 'aria-label': `Edit group ${group.name}`,
                          onclick: () => openEditor(group)}, 'Edit'),
            el('button', {type: 'button', class: 'group-remove',
                          'aria-label': `Remove group ${group.name}`,
                          onclick: () => removeGroup(group.name)}, 'Remove'));
      }
      row.append(actions);
    }
    return row;
  });
  byId('group-rows').replaceChildren(...rows);
  show(byId('groups-actions-head'), editable());
  show(byId('groups-file'), source === 'file');
  show(byId('group-new'), editable());
}

// The form: a name (fixed when editing) and a tick per horn.
function openEditor(group) {
  const form = byId('group-form');
  const name = byId('group-name');
  name.value = group ? group.name : '';
  name.readOnly = !!group;
  const chosen = new Set(group && Array.isArray(group.horns) ? group.horns : []);
  const ticks = Array.from(state.horns.values()).map((horn, i) => {
    const id = `group-horn-${i}`;
    return el('li', {},
              el('input', {id, type: 'checkbox', value: horn.address,
                           checked: chosen.has(horn.address)}),
              el('label', {for: id}, hornLabel(horn)));
  });
  byId('group-horns').replaceChildren(...ticks);
  setText(byId('group-error'), '');
  setText(byId('group-form-title'), group ? `Group ${group.name}` : 'New group');
  show(form, true);
  (group ? byId('group-horns').querySelector('input') || name : name).focus();
}

function closeEditor() {
  show(byId('group-form'), false);
}

async function reloadGroups() {
  const [groups, settings] = await Promise.all([
    api('GET', '/api/v1/groups'), api('GET', '/api/v1/groups/settings')]);
  state.groups = Array.isArray(groups) ? groups : [];
  takeSettings(settings);
  renderGroupFilter();
  reloading = true;
  try {
    publish('groups');
  } finally {
    reloading = false;
  }
  renderHorns();
  renderGroups();
}

async function saveGroup(event) {
  event.preventDefault();
  const name = byId('group-name').value.trim();
  const horns = Array.from(byId('group-horns').querySelectorAll('input:checked'), (box) => box.value);
  try {
    await api('PUT', `/api/v1/groups/${encodeURIComponent(name)}`, {horns});
    closeEditor();
    await reloadGroups();
  } catch (failure) {
    setText(byId('group-error'), describeError(failure));
  }
}

async function removeGroup(name) {
  try {
    await api('DELETE', `/api/v1/groups/${encodeURIComponent(name)}`);
    await reloadGroups();
  } catch (failure) {
    setText(byId('group-error'), describeError(failure));
  }
}

function takeSettings(settings) {
  source = settings && settings.source ? settings.source : '';
  setNameSources(settings);
}

async function loadSettings() {
  try {
    takeSettings(await api('GET', '/api/v1/groups/settings'));
  } catch {
    takeSettings(null);  // an older service: everything read only
  }
  renderGroups();
}

export function wireGroups() {
  subscribe('horns', () => {
    if (pending) return;
    pending = true;
    requestAnimationFrame(renderGroups);
  });
  // The site was read (again): so is where its names and groups are set.
  subscribe('groups', () => {
    if (!reloading) loadSettings();
  });
  byId('group-new').addEventListener('click', () => openEditor(null));
  byId('group-form').addEventListener('submit', saveGroup);
  byId('group-cancel').addEventListener('click', closeEditor);
}
