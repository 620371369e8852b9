// The page's start: the session the browser holds (or the login form), the site's state from
// the API, then the event stream for every change after that; Today first, the other views
// one at a time from the navigation.

import {announce, notice, wireNotice} from './announce.js';
import {api, describeError, onSessionEnded} from './api.js';
import {loadExceptions, loadPlans, wireExceptions} from './exceptions.js';
import {renderGroups, wireGroups} from './groups.js';
import {forgetRing, renderGroupFilter, renderHorns, setHorns, updateHorn,
        wireHornFilters} from './horns.js';
import {renderAlarms, setAlarms, updateAlarm} from './alarms.js';
import {byId, listOf} from './dom.js';
import {loadCalendar, wireCalendar} from './days.js';
import {TLiveFeed} from './live.js';
import {loadLog, wireLog} from './log.js';
import {renderNow, wireNow} from './now.js';
import {forgetPlans, loadEditor, loadRevisions, wirePlans} from './plans.js';
import {clearPeople, loadTokens, loadUsers, wirePeople} from './people.js';
import {wireRing} from './ring.js';
import {currentSession, enterSession, showLogin, wireSession} from './session.js';
import {clearSite, publish, state} from './state.js';
import {loadTimetable, stopCountdown, wireTimetable} from './timetable.js';
import {onViewShown, showAddressedView, wireViews} from './views.js';

const connectionWords = {
  connecting: 'Connecting to live updates…',
  live: 'Live',
  reconnecting: 'Connection lost. Reconnecting…',
};

function showConnection(status) {
  const node = byId('connection');
  if (node.dataset.state === status) return;
  node.dataset.state = status;
  node.textContent = connectionWords[status];
  document.body.dataset.live = status;
  // When the page first shows the site as it is (read by bench/page_bench.py).
  if (status === 'live') performance.mark('kstbell-live');
}

let snapshots = 0;

const feed = new TLiveFeed('/api/v1/events', {
  snapshot(data) {
    snapshots += 1;
    if (Array.isArray(data.horns)) setHorns(data.horns);
    if (Array.isArray(data.alarms)) setAlarms(data.alarms);
    // After a reconnection, bells may have rung or been missed in between.
    if (snapshots > 1) loadTimetable();
  },
  horn(data) {
    updateHorn(data.horn || data);
  },
  presence(data) {
    const change = {address: data.address};
    if ('online' in data) change.online = data.online;
    if ('presence' in data) change.presence = data.presence;
    updateHorn(change);
  },
  ring(data) {
    const ring = data.ring || data;
    if (ring.id !== undefined) state.rings.set(ring.id, ring);
  },
  ring_end(data) {
    const ring = data.ring || data;
    state.rings.delete(ring.id);
    if (ring.id !== undefined) forgetRing(ring.id);
  },
  alarm(data) {
    updateAlarm(data.alarm || data);
  },
  bell() {
    loadTimetable();
  },
  bell_missed(data) {
    const what = data && data.group ? ` for group ${data.group}` : '';
    announce(`A bell${what} was missed.`);
    loadTimetable();
  },
  stop_all(data) {
    state.rings.clear();
    forgetRing();
    announce(`Stop all${data && data.actor ? ` by ${data.actor}` : ''}: every ring and alarm ended.`);
  },
}, showConnection, currentSession);

let retryTimer = 0;

function retrySoon(error, what) {
  notice(describeError(error));
  clearTimeout(retryTimer);
  retryTimer = setTimeout(what, 1000 * Math.max(1, error.retryAfterSeconds || 2));
}

async function loadSite() {
  try {
    const [health, horns, groups, alarms] = await Promise.all([
      api('GET', '/api/v1/health'), api('GET', '/api/v1/horns'), api('GET', '/api/v1/groups'),
      api('GET', '/api/v1/alarms')]);
    if (health && health.site) {
      byId('site-name').textContent = health.site;
      document.title = `${health.site} · kstbell`;
    }
    state.groups = listOf(groups, 'groups').map((g) => (typeof g === 'string' ? {name: g} : g));
    renderGroupFilter();
    publish('groups');
    state.horns.clear();  // the cards stand in the groups just read
    setHorns(listOf(horns, 'horns'), {announceChanges: false});
    setAlarms(listOf(alarms, 'alarms'));
    renderGroups();
    notice('');
  } catch (error) {
    if (error.status === 401) return;
    if (error.status === 503) {
      retrySoon(error, loadSite);
      return;
    }
    notice(`The site could not be read: ${describeError(error)}`);
  }
  feed.start();
  await Promise.all([loadTimetable(), loadPlans(), loadExceptions(), loadLog()]);
}

// moveFocus: after the login form, whose controls are gone; not when the page opens with a
// session already, where the keyboard starts at the top as on any page.
function signedIn(session, {moveFocus = true} = {}) {
  enterSession(session);
  clearSite();
  snapshots = 0;
  renderHorns();
  renderAlarms();
  renderNow();
  byId('password-user').value = session.user || '';
  showAddressedView();
  if (moveFocus) byId('main').focus({preventScroll: true});
  loadSite();
}

function signedOut(message) {
  feed.stop();
  clearTimeout(retryTimer);
  stopCountdown();
  clearSite();
  clearPeople();
  forgetPlans();
  showLogin(message);
}

async function start() {
  try {
    signedIn(await currentSession(), {moveFocus: false});
  } catch (error) {
    if (error.status === 503) {
      retrySoon(error, start);
      showLogin('');
      return;
    }
    showLogin(error.status === 401 ? '' : describeError(error));
  }
}

wireNotice();
wireViews();
wireNow();
wirePeople({onPasswordChanged: (message) => signedOut(message)});
onViewShown((view) => {
  // What other people (or scripts) changed meanwhile brings no event: read again.
  if (view === 'users') Promise.all([loadUsers(), loadTokens()]);
  if (view === 'timetable') {
    loadExceptions();
    loadEditor().then(loadRevisions);
    loadCalendar();
  }
});
wireSession({onSignedIn: signedIn, onSignedOut: signedOut});
wireHornFilters();
wireGroups();
wireRing();
wireTimetable();
wireExceptions();
wirePlans({onChanged: () => Promise.all([loadTimetable(), loadPlans(), loadCalendar()])});
wireCalendar();
wireLog();
onSessionEnded(() => {
  if (state.session) signedOut('Your session has ended. Log in again.');
});
start();
