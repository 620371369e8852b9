// The groups: how many horns each holds, how many of them answer and how many sound. Recounted
// at most once a frame however many horns change at once.

import {byId, el} from './dom.js';
import {groupHas, onlineOf} from './horns.js';
import {state, subscribe} from './state.js';

let pending = false;

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
    return el('tr', {data: {group: group.name}},
              el('th', {scope: 'row'}, group.name), el('td', {}, total), el('td', {}, online),
              el('td', {}, sounding));
  });
  byId('group-rows').replaceChildren(...rows);
}

export function wireGroups() {
  subscribe('horns', () => {
    if (pending) return;
    pending = true;
    requestAnimationFrame(renderGroups);
  });
}
