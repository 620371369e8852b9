// Holidays from a calendar file (.ics), read in the browser: each VEVENT's SUMMARY, DTSTART and
// DTEND as a named range of dates. All-day events end the day before their DTEND (which is
// exclusive); an event with a time of day covers the dates it touches.

// "20271223" or "20271223T080000Z" (with or without the time) as "2027-12-23", or ''.
function dateOf(value) {
  const found = /^(\d{4})(\d{2})(\d{2})(T(\d{6})Z?)?$/.exec(value.trim());
  if (!found) return {date: '', midnight: false};
  const [, y, m, d, withTime, clock] = found;
  const date = new Date(Date.UTC(Number(y), Number(m) - 1, Number(d)));
  if (date.getUTCMonth() !== Number(m) - 1 || date.getUTCDate() !== Number(d)) {
    return {date: '', midnight: false};
  }
  return {date: `${y}-${m}-${d}`, allDay: !withTime, midnight: clock === '000000'};
}

export function dayBefore(text) {
  const [y, m, d] = text.split('-').map(Number);
  return new Date(Date.UTC(y, m - 1, d - 1)).toISOString().slice(0, 10);
}

function unescapeText(value) {
  return value.replace(/\\([\\;,nN])/g, (_, c) => (c === 'n' || c === 'N' ? ' ' : c)).trim();
}

// {holidays: [{name, first, last}], problem: ''}; problem says in words why the file cannot be
// read (then holidays is empty).
export function holidaysFromIcs(text) {
  const none = (problem) => ({holidays: [], problem});
  if (typeof text !== 'string' || !/^\s*BEGIN:VCALENDAR/i.test(text)) {
    return none('It is not a calendar file (.ics): it does not begin with BEGIN:VCALENDAR.');
  }
  // Long lines go on in lines that begin with a space or a tab.
  const lines = text.replace(/\r\n?/g, '\n').replace(/\n[ \t]/g, '').split('\n');
  const holidays = [];
  let event = null;
  let count = 0;
  for (const line of lines) {
    const colon = line.indexOf(':');
    if (colon < 0) continue;
    const head = line.slice(0, colon).toUpperCase();
    const value = line.slice(colon + 1);
    const name = head.split(';')[0];
    if (name === 'BEGIN' && value.trim().toUpperCase() === 'VEVENT') {
      event = {};
      count += 1;
    } else if (name === 'END' && value.trim().toUpperCase() === 'VEVENT' && event) {
      const start = dateOf(event.DTSTART || '');
      if (!start.date) return none(`Event ${count} has no start date (DTSTART) that can be read.`);
      let last = start.date;
      if (event.DTEND) {
        const end = dateOf(event.DTEND);
        if (!end.date) return none(`Event ${count} has an end (DTEND) that cannot be read.`);
        last = end.allDay || end.midnight ? dayBefore(end.date) : end.date;
        if (last < start.date) last = start.date;
      }
      holidays.push({name: unescapeText(event.SUMMARY || '') || 'Holiday', first: start.date, last});
      event = null;
    } else if (event && (name === 'DTSTART' || name === 'DTEND' || name === 'SUMMARY')) {
      event[name] = value;
    }
  }
  if (holidays.length === 0) return none('The calendar file holds no events.');
  return {holidays, problem: ''};
}
