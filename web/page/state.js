// What the page knows of the site, and who is looking. Views subscribe to a topic and are told
// when it changes; the event stream and the API calls are the only writers.

export const state = {
  session: null,              // {user, role, csrf}
  horns: new Map(),           // address -> horn as the API gives it
  groups: [],                 // [{name, horns: [address]}]
  alarms: new Map(),          // name -> alarm
  rings: new Map(),           // id -> ring, while it lasts
};

const listeners = new Map();

export function subscribe(topic, listener) {
  if (!listeners.has(topic)) listeners.set(topic, new Set());
  listeners.get(topic).add(listener);
}

export function publish(topic, detail) {
  for (const listener of listeners.get(topic) || []) listener(detail);
}

const ranks = {viewer: 0, operator: 1, admin: 2};
const needs = {view: 0, operate: 1, administer: 2};

export function allows(permission) {
  const role = state.session ? state.session.role : undefined;
  return role in ranks && ranks[role] >= needs[permission];
}

// Hides every control of the page that the session's role may not use.
export function applyRole(root = document) {
  for (const node of root.querySelectorAll('[data-needs]')) {
    node.hidden = !allows(node.dataset.needs);
  }
}

export function hornLabel(horn) {
  if (!horn) return '';
  return horn.name ? `${horn.name} (${horn.address})` : horn.address;
}

export function clearSite() {
  state.horns.clear();
  state.groups = [];
  state.alarms.clear();
  state.rings.clear();
}
