// What the service's identifiers say, in words people read: who or what caused something
// ("the timetable", "anna on the page", "token 'fire panel'"), what a ring is ("the 08:00 bell",
// "the alarm Evacuation", "a ring of group east, rung by anna"), never a ring's number or a
// cause's key.

// "alice (token backup)", as the service names a caller with an API token.
const tokenActor = /^(.*) \(token (.*)\)$/;

// Who or what did it, from a cause key and the actor the service recorded.
export function causeWords(cause, actor = '') {
  const token = tokenActor.exec(actor || '');
  if (token) return `token '${token[2]}'`;
  switch (cause) {
    case 'schedule': return 'the timetable';
    case 'alarm': return actor ? `${actor}, by an alarm` : 'an alarm';
    case 'input': return "a horn's input";
    case 'http': return actor ? `${actor} on the page` : 'the page';
    case 'mqtt': return actor ? `${actor} over MQTT` : 'MQTT';
    case 'cli': return actor ? `${actor} on the command line` : 'the command line';
    case 'service': return 'the service';
    default: return actor || (cause ? 'the service' : '');
  }
}

// "rung by anna", "rung by token 'fire panel'", "rung by a horn's input".
function rungBy(cause, actor) {
  const token = tokenActor.exec(actor || '');
  if (token) return `rung by token '${token[2]}'`;
  if (cause === 'http' && actor) return `rung by ${actor}`;
  if (cause === 'cli') return actor ? `rung by ${actor} on the command line` : 'rung on the command line';
  if (cause === 'mqtt') return actor ? `rung by ${actor} over MQTT` : 'rung over MQTT';
  if (cause === 'input') return "rung by a horn's input";
  return `rung by ${causeWords(cause, actor)}`;
}

// A bell's label is its plan and time ("day 08:00:00"): its time at the site, without
// seconds when they are zero.
function bellWords(label) {
  const found = /(\d\d:\d\d)(:\d\d)?(.*)$/.exec(label || '');
  if (!found) return 'a bell of the timetable';
  const time = found[2] && found[2] !== ':00' ? found[1] + found[2] : found[1];
  return `the ${time} bell${found[3] || ''}`;
}

// What a ring is, from the ring the API gives with a horn or an alarm ({id, end, cause, actor,
// label}) or in its events. alarms: alarm name -> the label people know it by.
export function ringWords(ring, alarms = {}) {
  if (!ring) return '';
  const label = ring.label || '';
  if (label && Object.prototype.hasOwnProperty.call(alarms, label)) return `the alarm ${alarms[label]}`;
  if (ring.cause === 'alarm') return label ? `the alarm ${label}` : 'an alarm';
  if (ring.cause === 'schedule') return bellWords(label);
  const who = rungBy(ring.cause, ring.actor || '');
  return label ? `a ring of group ${label}, ${who}` : `a ring ${who}`;
}

// "3 rings", "1 alarm".
export function countWords(count, one, many = `${one}s`) {
  return `${count} ${count === 1 ? one : many}`;
}

// What a stop all's answer says it stopped ({rings_stopped, alarms_stopped}).
export function stoppedWords(reply) {
  if (!reply || typeof reply.rings_stopped !== 'number' || typeof reply.alarms_stopped !== 'number') {
    return 'Stop all sent: every ring and alarm ends.';
  }
  const parts = [];
  if (reply.rings_stopped) parts.push(countWords(reply.rings_stopped, 'ring'));
  if (reply.alarms_stopped) parts.push(countWords(reply.alarms_stopped, 'alarm'));
  if (parts.length === 0) return 'Stopped: nothing was sounding.';
  return `Stopped ${parts.join(' and ')}.`;
}

// An error message from the API as a sentence: capital first, a full stop last.
export function sentence(text) {
  const words = String(text || '').trim();
  if (!words) return '';
  const capital = words[0].toUpperCase() + words.slice(1);
  return /[.!?]$/.test(capital) ? capital : `${capital}.`;
}
