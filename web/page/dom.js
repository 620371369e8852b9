// Small helpers for building the page's elements and writing times. Every text from the
// service (horn names, locations, log details) goes in as text, never as markup.

export function byId(id) {
  return document.getElementById(id);
}

// el('li', {class: 'horn', data: {address: a}, 'aria-label': 'x'}, child, 'text', ...)
export function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === undefined || value === null || value === false) continue;
    if (name === 'class') node.className = value;
    else if (name === 'text') node.textContent = value;
    else if (name === 'data') Object.assign(node.dataset, value);
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else node.setAttribute(name, value === true ? '' : String(value));
  }
  for (const child of children) {
    if (child === null || child === undefined || child === false) continue;
    node.append(child instanceof Node ? child : String(child));
  }
  return node;
}

export function setText(node, text) {
  if (node.textContent !== text) node.textContent = text;
}

// Keeps `node.hidden` as asked without touching the element when nothing changes.
export function show(node, visible) {
  if (node.hidden === visible) node.hidden = !visible;
}

const clock = new Intl.DateTimeFormat(undefined, {
  hour: '2-digit', minute: '2-digit', second: '2-digit', hourCycle: 'h23',
});
const dateAndClock = new Intl.DateTimeFormat(undefined, {
  year: 'numeric', month: '2-digit', day: '2-digit',
  hour: '2-digit', minute: '2-digit', second: '2-digit', hourCycle: 'h23',
});

function asDate(value) {
  if (value === undefined || value === null || value === '') return null;
  const date = new Date(value);
  return Number.isNaN(date.getTime()) ? null : date;
}

// "10:31:05" for an instant; the text as it came when it is not one.
export function clockText(value) {
  const date = asDate(value);
  return date ? clock.format(date) : String(value ?? '');
}

export function dateTimeText(value) {
  const date = asDate(value);
  return date ? dateAndClock.format(date) : String(value ?? '');
}

const dateAndClockMs = new Intl.DateTimeFormat(undefined, {
  year: 'numeric', month: '2-digit', day: '2-digit', hour: '2-digit', minute: '2-digit',
  second: '2-digit', fractionalSecondDigits: 3, hourCycle: 'h23',
});

// To the millisecond, as the log keeps its entries: several in one second stay apart.
export function dateTimeMsText(value) {
  const date = asDate(value);
  return date ? dateAndClockMs.format(date) : String(value ?? '');
}

// "3 s", "2 min 5 s", "1 h 2 min".
export function durationText(seconds) {
  if (seconds === undefined || seconds === null || Number.isNaN(Number(seconds))) return '';
  let rest = Math.round(Number(seconds));
  const hours = Math.floor(rest / 3600);
  rest -= hours * 3600;
  const minutes = Math.floor(rest / 60);
  rest -= minutes * 60;
  const parts = [];
  if (hours) parts.push(`${hours} h`);
  if (minutes) parts.push(`${minutes} min`);
  if (rest || parts.length === 0) parts.push(`${rest} s`);
  return parts.join(' ');
}

// A value of a datetime-local field (local time) as an instant in ISO form, or ''.
export function localInputToIso(text) {
  if (!text) return '';
  const date = new Date(text);
  return Number.isNaN(date.getTime()) ? '' : date.toISOString();
}

// The list in a reply that is either the list itself or an object holding it under key.
export function listOf(reply, key) {
  if (Array.isArray(reply)) return reply;
  if (reply && Array.isArray(reply[key])) return reply[key];
  return [];
}
