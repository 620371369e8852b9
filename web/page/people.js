// People: the admin's Users view (users with their roles, added, changed, disabled, their
// passwords reset, removed; the API tokens, revoked) and everyone's own password. A password
// the page makes is shown once, and nowhere else; what the service refuses (the last admin
// removed or demoted) is said in its own words.

import {api, describeError} from './api.js';
import {confirmAction} from './confirm.js';
import {byId, dateTimeText, el, listOf, setText} from './dom.js';
import {state} from './state.js';

const roleWords = {viewer: 'Viewer', operator: 'Operator', admin: 'Admin'};

// 16 letters and digits none of which is mistaken for another, in groups of four.
export function makePassword(random = crypto.getRandomValues.bind(crypto)) {
  const alphabet = 'abcdefghjkmnpqrstuvwxyz23456789';
  const bytes = random(new Uint8Array(16));
  let out = '';
  for (let i = 0; i < bytes.length; i += 1) {
    if (i && i % 4 === 0) out += '-';
    out += alphabet[bytes[i] % alphabet.length];
  }
  return out;
}

function showSecret(text, secret) {
  setText(byId('new-password-text'), text);
  setText(byId('new-password'), secret);
  byId('new-password-box').hidden = false;
  byId('new-password-done').focus();
}

function hideSecret() {
  setText(byId('new-password'), '');
  byId('new-password-box').hidden = true;
}

function say(text) {
  setText(byId('users-message'), text);
}

// Each change is said once the list shows it.
async function change(user, body, done) {
  let text = done;
  try {
    await api('PATCH', `/api/v1/users/${encodeURIComponent(user.name)}`, body);
  } catch (error) {
    text = `${user.name}: not changed. ${describeError(error)}`;
  }
  await loadUsers();
  say(text);
}

async function resetPassword(user) {
  const password = makePassword();
  try {
    await api('PATCH', `/api/v1/users/${encodeURIComponent(user.name)}`, {password});
    say(`${user.name} has a new password; their sessions have ended.`);
    showSecret(`The new password of ${user.name}, shown only now: give it to them.`, password);
  } catch (error) {
    say(`${user.name}: the password was not reset. ${describeError(error)}`);
  }
}

async function removeUser(user) {
  const confirmed = await confirmAction({
    title: `Remove the user ${user.name}?`,
    text: 'Their sessions end and their API tokens are revoked.',
    confirmLabel: `Remove ${user.name}`,
  });
  if (!confirmed) return;
  let text = `${user.name} removed.`;
  try {
    await api('DELETE', `/api/v1/users/${encodeURIComponent(user.name)}`);
  } catch (error) {
    text = `${user.name}: not removed. ${describeError(error)}`;
  }
  await Promise.all([loadUsers(), loadTokens()]);
  say(text);
}

function userRow(user) {
  const role = el('select', {class: 'user-role', 'aria-label': `Role of ${user.name}`},
                  ...Object.entries(roleWords).map(([value, words]) =>
                      el('option', {value, selected: value === user.role}, words)));
  role.addEventListener('change', () => change(user, {role: role.value},
                                               `${user.name} is now ${roleWords[role.value]}.`));
  const disabled = !!user.disabled;
  const actions = el('div', {class: 'row-actions'},
      el('button', {type: 'button', class: 'quiet user-reset', 'aria-label': `Reset the password of ${user.name}`,
                    onclick: () => resetPassword(user)}, 'Reset password'),
      el('button', {type: 'button', class: 'quiet user-disable',
                    'aria-label': `${disabled ? 'Enable' : 'Disable'} ${user.name}`,
                    onclick: () => change(user, {disabled: !disabled},
                                          `${user.name} ${disabled ? 'may log in again' : 'is disabled; their sessions have ended'}.`)},
         disabled ? 'Enable' : 'Disable'),
      el('button', {type: 'button', class: 'quiet user-remove', 'aria-label': `Remove ${user.name}`,
                    onclick: () => removeUser(user)}, 'Remove'));
  const you = state.session && state.session.user === user.name ? ' (you)' : '';
  return el('tr', {data: {user: user.name, disabled: String(disabled)}},
            el('th', {scope: 'row'}, `${user.name}${you}`),
            el('td', {}, role),
            el('td', {}, disabled ? `Disabled since ${dateTimeText(user.disabled)}` : 'May log in'),
            el('td', {}, actions));
}

export async function loadUsers() {
  try {
    const users = listOf(await api('GET', '/api/v1/users'), 'users');
    byId('user-rows').replaceChildren(...users.map(userRow));
  } catch (error) {
    byId('user-rows').replaceChildren(
        el('tr', {}, el('td', {colspan: 4}, `The users could not be read: ${describeError(error)}`)));
  }
}

async function revokeToken(token) {
  const confirmed = await confirmAction({
    title: `Revoke the token ${token.name}?`,
    text: `Whatever uses it (of ${token.user}) is refused from now on.`,
    confirmLabel: `Revoke ${token.name}`,
  });
  if (!confirmed) return;
  let text = `The token ${token.name} is revoked.`;
  try {
    await api('DELETE', `/api/v1/tokens/${encodeURIComponent(token.id)}`);
  } catch (error) {
    text = `${token.name}: not revoked. ${describeError(error)}`;
  }
  await loadTokens();
  setText(byId('tokens-message'), text);
}

export async function loadTokens() {
  try {
    const tokens = listOf(await api('GET', '/api/v1/tokens'), 'tokens');
    const rows = tokens.map((token) => el('tr', {data: {token: token.id}},
        el('th', {scope: 'row'}, token.name),
        el('td', {}, token.user),
        el('td', {}, `${roleWords[token.acts_as || token.role] || token.role}` +
                     `${token.user_disabled ? ' (its user is disabled)' : ''}`),
        el('td', {}, token.last_used ? dateTimeText(token.last_used) : 'Never'),
        el('td', {}, el('button', {type: 'button', class: 'quiet token-revoke',
                                   'aria-label': `Revoke the token ${token.name}`,
                                   onclick: () => revokeToken(token)}, 'Revoke'))));
    if (rows.length === 0) rows.push(el('tr', {}, el('td', {colspan: 5}, 'No API tokens.')));
    byId('token-rows').replaceChildren(...rows);
  } catch (error) {
    byId('token-rows').replaceChildren(
        el('tr', {}, el('td', {colspan: 5}, `The tokens could not be read: ${describeError(error)}`)));
  }
}

async function addUser(event) {
  event.preventDefault();
  const message = byId('user-form-message');
  const name = byId('user-name').value.trim();
  const role = byId('user-role').value;
  if (!name) {
    setText(message, 'Give the user a name.');
    byId('user-name').focus();
    return;
  }
  const password = makePassword();
  let added = false;
  try {
    await api('POST', '/api/v1/users', {name, role, password});
    added = true;
    setText(message, `${name} added as ${roleWords[role]}.`);
    byId('user-name').value = '';
  } catch (error) {
    setText(message, `Not added: ${describeError(error)}`);
  }
  await loadUsers();
  if (added) showSecret(`The password of ${name}, shown only now: give it to them.`, password);
}

async function changeOwnPassword(event, onChanged) {
  event.preventDefault();
  const message = byId('password-message');
  const current = byId('password-current').value;
  const password = byId('password-new').value;
  if (!current || !password) {
    setText(message, 'Give your current password and the new one.');
    (current ? byId('password-new') : byId('password-current')).focus();
    return;
  }
  if (password !== byId('password-again').value) {
    setText(message, 'The new password and its repetition differ.');
    byId('password-again').focus();
    return;
  }
  try {
    await api('POST', '/api/v1/session/password', {current, password});
    byId('password-form').reset();
    setText(message, '');
    onChanged('Your password is changed. Log in with the new one.');
  } catch (error) {
    setText(message, `Not changed: ${describeError(error)}`);
    byId('password-current').focus();
  }
}

export function clearPeople() {
  hideSecret();
  byId('user-rows').replaceChildren();
  byId('token-rows').replaceChildren();
  for (const id of ['users-message', 'user-form-message', 'tokens-message', 'password-message']) {
    setText(byId(id), '');
  }
  byId('password-form').reset();
}

// onPasswordChanged(message): the user's sessions have ended with the new password.
export function wirePeople({onPasswordChanged}) {
  byId('user-form').addEventListener('submit', addUser);
  byId('new-password-done').addEventListener('click', hideSecret);
  byId('password-form').addEventListener('submit', (event) => changeOwnPassword(event, onPasswordChanged));
}
