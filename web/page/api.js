// Calls to the service's API: JSON in and out, the session's CSRF token on every state
// change, and errors as values a person can read. A 401 to anything but a login means the
// session has ended: the page goes back to its login form.

import {sentence} from './words.js';

const changes = new Set(['POST', 'PUT', 'PATCH', 'DELETE']);

let csrfToken = '';
let sessionEnded = () => {};

export function setCsrfToken(token) {
  csrfToken = token || '';
}

export function onSessionEnded(handler) {
  sessionEnded = handler;
}

export class ApiError extends Error {
  constructor(status, kind, message, retryAfterSeconds, details = []) {
    super(message);
    this.status = status;
    this.kind = kind;
    this.retryAfterSeconds = retryAfterSeconds;
    this.details = details;  // every mistake of a refused input, when the service lists them
  }
}

const kindByStatus = {
  400: 'invalid_input', 401: 'unauthenticated', 403: 'forbidden', 404: 'not_found',
  409: 'conflict', 412: 'precondition_failed', 413: 'too_large', 429: 'rate_limited', 503: 'starting',
};

// Retry-After is either seconds or an HTTP date.
export function retryAfterSeconds(header, now = Date.now()) {
  if (!header) return null;
  if (/^\s*\d+\s*$/.test(header)) return Number(header);
  const at = Date.parse(header);
  if (Number.isNaN(at)) return null;
  return Math.max(0, Math.ceil((at - now) / 1000));
}

// extraHeaders: e.g. If-Match for a change made from a known revision.
export async function api(method, path, body, extraHeaders = {}) {
  const headers = {Accept: 'application/json', ...extraHeaders};
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  if (changes.has(method) && csrfToken) headers['X-CSRF-Token'] = csrfToken;
  let response;
  try {
    response = await fetch(path, {
      method,
      headers,
      body: body === undefined ? undefined : JSON.stringify(body),
      credentials: 'same-origin',
      cache: 'no-store',
    });
  } catch {
    throw new ApiError(0, 'unreachable', 'The service cannot be reached.', null);
  }
  const text = await response.text();
  let reply = null;
  if (text) {
    try {
      reply = JSON.parse(text);
    } catch {
      reply = null;
    }
  }
  if (response.ok) return reply;

  const error = reply && typeof reply.error === 'object' ? reply.error : {};
  const failure = new ApiError(
      response.status, error.kind || kindByStatus[response.status] || 'failed',
      error.message || `${response.status} ${response.statusText}`.trim(),
      retryAfterSeconds(response.headers.get('Retry-After')),
      Array.isArray(error.details) ? error.details.map(String) : []);
  const login = method === 'POST' && path === '/api/v1/session';
  if (response.status === 401 && !login) sessionEnded(failure);
  throw failure;
}

// What to tell a person about a failed call.
export function describeError(error) {
  if (!(error instanceof ApiError)) return String(error && error.message ? error.message : error);
  switch (error.status) {
    case 0:
      return 'The service cannot be reached. Check the connection and try again.';
    case 401:
      return 'Your session has ended. Log in again.';
    case 403:
      return 'Your role does not allow this.';
    case 429:
      return error.retryAfterSeconds === null
          ? 'Too many attempts. Wait a moment and try again.'
          : `Too many attempts. Try again in ${error.retryAfterSeconds} s.`;
    case 503:
      if (error.kind === 'starting') return 'The service is starting. Try again in a moment.';
      break;
    default:
      break;
  }
  return sentence(error.message) || 'The service refused it.';
}
