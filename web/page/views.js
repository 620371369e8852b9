// The page's views, one at a time: Today (what sounds, the next bell, today's bells, the horns)
// first, then ringing, alarms, the timetable, the log, users and one's own password. The
// address's #fragment names the view, so the browser's Back goes to the one before; a fragment
// that names no view (the skip link's #main) leaves the view as it is.

import {byId} from './dom.js';
import {allows} from './state.js';

let current = 'home';
const shownListeners = [];

function views() {
  return Array.from(document.querySelectorAll('#app-view > .view'));
}

// A view the session's role may see, else Today.
function allowed(name) {
  const view = views().find((v) => v.dataset.view === name);
  if (!view) return null;
  return !view.dataset.needs || allows(view.dataset.needs) ? name : 'home';
}

export function currentView() {
  return current;
}

// Called with the view's name whenever one is shown.
export function onViewShown(listener) {
  shownListeners.push(listener);
}

export function showView(name, {focus = false} = {}) {
  const chosen = allowed(name) || 'home';
  const changed = chosen !== current;
  current = chosen;
  for (const view of views()) view.toggleAttribute('data-current', view.dataset.view === chosen);
  for (const link of document.querySelectorAll('#sections-nav a[data-view]')) {
    if (link.dataset.view === chosen) link.setAttribute('aria-current', 'page');
    else link.removeAttribute('aria-current');
  }
  if (changed || focus) {
    window.scrollTo(0, 0);
    if (focus) byId('main').focus({preventScroll: true});
  }
  for (const listener of shownListeners) listener(chosen);
}

function fromAddress({focus}) {
  const name = decodeURIComponent(location.hash.slice(1));
  if (!name) {
    showView('home', {focus});
    return;
  }
  if (allowed(name)) showView(name, {focus});
}

export function wireViews() {
  window.addEventListener('hashchange', () => fromAddress({focus: true}));
}

// After a login (or a role change): the view the address names, if the role allows it.
export function showAddressedView() {
  fromAddress({focus: false});
}
