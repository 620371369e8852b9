// A confirmation in a modal dialog: focus goes to "Cancel", Escape cancels, and focus returns
// to the control that asked.

import {byId} from './dom.js';

export function confirmAction({title, text, confirmLabel}) {
  const dialog = byId('confirm');
  if (dialog.open) return Promise.resolve(false);  // one question at a time
  byId('confirm-title').textContent = title;
  byId('confirm-text').textContent = text;
  byId('confirm-ok').textContent = confirmLabel;
  const opener = document.activeElement;
  return new Promise((resolve) => {
    dialog.returnValue = 'cancel';
    dialog.addEventListener('close', () => {
      if (opener && opener.isConnected) opener.focus();
      resolve(dialog.returnValue === 'ok');
    }, {once: true});
    dialog.showModal();
    byId('confirm-cancel').focus();
  });
}
