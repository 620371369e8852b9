// Logging in and out, and what the page shows for each: the login form, or the site with the
// controls the session's role may use.

import {notice} from './announce.js';
import {api, ApiError, describeError, setCsrfToken} from './api.js';
import {byId, setText} from './dom.js';
import {applyRole, state} from './state.js';

function showSignedIn(signedIn) {
  byId('login-view').hidden = signedIn;
  byId('app-view').hidden = !signedIn;
  byId('sections-nav').hidden = !signedIn;
  byId('who').hidden = !signedIn;
  byId('connection').hidden = !signedIn;
  applyRole();
}

export function showLogin(message) {
  state.session = null;
  setCsrfToken('');
  showSignedIn(false);
  setText(byId('login-message'), message || '');
  byId('login-password').value = '';
  byId('login-user').focus();
  performance.mark('kstbell-login-form');
}

export function enterSession(session) {
  state.session = {user: session.user, role: session.role, csrf: session.csrf};
  setCsrfToken(session.csrf);
  setText(byId('who-text'), `${session.user} (${session.role})`);
  showSignedIn(true);
}

// The session the browser already holds, if any; rejects with the API's error otherwise.
export async function currentSession() {
  return api('GET', '/api/v1/session');
}

function loginFailure(error) {
  if (error instanceof ApiError && error.status === 401) return 'Wrong user name or password.';
  return describeError(error);
}

// onSignedIn(session) runs after a login; onSignedOut(message) after a logout.
export function wireSession({onSignedIn, onSignedOut}) {
  byId('login-form').addEventListener('submit', async (event) => {
    event.preventDefault();
    const user = byId('login-user').value.trim();
    const password = byId('login-password').value;
    const message = byId('login-message');
    if (!user || !password) {
      setText(message, 'Give your user name and password.');
      (user ? byId('login-password') : byId('login-user')).focus();
      return;
    }
    setText(message, 'Logging in…');
    try {
      const session = await api('POST', '/api/v1/session', {user, password});
      byId('login-password').value = '';
      setText(message, '');
      notice('');
      onSignedIn(session);
    } catch (error) {
      byId('login-password').value = '';
      setText(message, loginFailure(error));
      byId('login-password').focus();
    }
  });
  byId('logout').addEventListener('click', async () => {
    try {
      await api('DELETE', '/api/v1/session');
    } catch {
      // Gone already or unreachable: the page forgets the session either way.
    }
    onSignedOut('You have logged out.');
  });
}
