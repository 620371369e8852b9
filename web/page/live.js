// The service's event stream: the page's only source of changes (it never polls). The browser
// reconnects by itself after a dropped connection; when the service refuses the stream (too
// many open, starting, session ended) the browser gives up, so the feed tries again itself,
// waiting longer each time, after checking that the session still holds. A reconnected stream
// starts with a fresh snapshot, so nothing missed in between stays wrong.

export const eventNames = ['snapshot', 'horn', 'presence', 'ring', 'ring_end', 'alarm', 'bell',
                           'bell_missed', 'stop_all'];

const backoffSeconds = [1, 2, 4, 8, 15];

export class TLiveFeed {
  // handlers: {snapshot(data), horn(data), ...}; onStatus('connecting'|'live'|'reconnecting',
  // attempt); checkSession(): a promise that rejects when the session has ended.
  constructor(url, handlers, onStatus, checkSession) {
    this.url = url;
    this.handlers = handlers;
    this.onStatus = onStatus;
    this.checkSession = checkSession;
    this.source = null;
    this.retryTimer = 0;
    this.failures = 0;
    this.everOpen = false;
  }

  start() {
    this.stop();
    this.stopped = false;
    this.onStatus(this.everOpen ? 'reconnecting' : 'connecting', this.failures);
    const source = new EventSource(this.url);
    this.source = source;
    // Live once the snapshot is in: from then on the page shows the site as it is.
    source.onopen = () => {
      this.failures = 0;
      this.everOpen = true;
    };
    source.onerror = () => {
      if (this.source !== source) return;
      this.failures += 1;
      if (source.readyState === EventSource.CLOSED) {
        this.source = null;
        source.close();
        this.retryLater();
      }
      this.onStatus(this.everOpen ? 'reconnecting' : 'connecting', this.failures);
    };
    for (const name of eventNames) {
      source.addEventListener(name, (event) => {
        if (this.source !== source) return;
        let data;
        try {
          data = JSON.parse(event.data);
        } catch {
          return;
        }
        const handler = this.handlers[name];
        if (handler) handler(data);
        if (name === 'snapshot') this.onStatus('live', 0);
      });
    }
  }

  retryLater() {
    const wait = backoffSeconds[Math.min(this.failures, backoffSeconds.length) - 1] || 1;
    clearTimeout(this.retryTimer);
    this.retryTimer = setTimeout(async () => {
      try {
        await this.checkSession();
      } catch (error) {
        if (error && error.status === 401) return;  // the page is back at its login
        this.failures += 1;
        if (!this.stopped) this.retryLater();
        return;
      }
      if (!this.stopped) this.start();
    }, wait * 1000);
  }

  stop() {
    this.stopped = true;
    clearTimeout(this.retryTimer);
    if (this.source) {
      this.source.close();
      this.source = null;
    }
  }
}
