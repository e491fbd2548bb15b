// The session's role on the page, and the owner's accounts and the monitoring tokens. Loaded
// after app.js, whose api(), errorText() and $() it uses. What a role cannot do is hidden by
// style.css from `data-role` on the body; the server refuses it all the same.
'use strict';

async function loadSessionRole() {
  const result = await api('/api/session');
  if (result.status !== 200 || !result.data) return;
  document.body.dataset.role = result.data.role;
  if (result.data.role === 'owner') loadAccounts();
  if (result.data.role === 'owner' || result.data.role === 'admin') loadTokens();
}

function cell(row, text) {
  const td = document.createElement('td');
  td.textContent = text;
  row.appendChild(td);
  return td;
}

function removeButton(label, onClick) {
  const button = document.createElement('button');
  button.type = 'button';
  button.className = 'remove';
  button.textContent = 'Remove';
  button.setAttribute('aria-label', label);
  button.addEventListener('click', onClick);
  return button;
}

function say(id, text, ok) {
  $(id).textContent = text;
  $(id).className = 'message' + (ok ? ' ok' : '');
}

// ---- accounts ----

async function loadAccounts() {
  const result = await api('/api/accounts');
  if (result.status !== 200) return say('accountMessage', errorText(result));
  const body = $('accounts').tBodies[0];
  body.replaceChildren();
  for (const account of result.data) {
    const row = document.createElement('tr');
    cell(row, account.name);
    cell(row, account.role);
    const actions = cell(row, '');
    actions.className = 'actions';
    actions.appendChild(removeButton('Remove ' + account.name, () => removeAccount(account.name)));
    body.appendChild(row);
  }
}

async function putAccount(event) {
  event.preventDefault();
  const name = $('accountName').value;
  const result = await api('/api/accounts', {
    name, role: $('accountRole').value, password: $('accountPassword').value,
  });
  $('accountPassword').value = '';
  if (result.status !== 200) return say('accountMessage', errorText(result));
  say('accountMessage', name + ' can log in as ' + $('accountRole').value + '.', true);
  $('accountName').value = '';
  loadAccounts();
}

async function removeAccount(name) {
  if (!window.confirm('Remove the account ' + name + '? Its sessions end.')) return;
  const result = await api('/api/accounts/remove', { name });
  if (result.status !== 200) return say('accountMessage', errorText(result));
  say('accountMessage', name + ' is removed.', true);
  loadAccounts();
}

// ---- monitoring tokens ----

async function loadTokens() {
  const result = await api('/api/tokens');
  if (result.status !== 200) return say('tokenMessage', errorText(result));
  const body = $('tokens').tBodies[0];
  body.replaceChildren();
  for (const token of result.data) {
    const row = document.createElement('tr');
    cell(row, token.id);
    cell(row, token.label);
    cell(row, new Date(token.created * 1000).toLocaleString());
    const actions = cell(row, '');
    actions.className = 'actions';
    actions.appendChild(removeButton('Remove the token ' + token.label, () => removeToken(token)));
    body.appendChild(row);
  }
}

async function makeToken(event) {
  event.preventDefault();
  const result = await api('/api/tokens', { label: $('tokenLabel').value });
  if (result.status !== 200) return say('tokenMessage', errorText(result));
  $('tokenText').textContent = result.data.token;
  $('tokenShown').hidden = false;
  $('tokenLabel').value = '';
  say('tokenMessage', '');
  loadTokens();
}

async function removeToken(token) {
  if (!window.confirm('Remove the token ' + token.label + '? A monitor using it is refused.')) return;
  const result = await api('/api/tokens/remove', { id: token.id });
  if (result.status !== 200) return say('tokenMessage', errorText(result));
  $('tokenShown').hidden = true;
  loadTokens();
}

document.addEventListener('DOMContentLoaded', () => {
  $('accountForm').addEventListener('submit', putAccount);
  $('tokenForm').addEventListener('submit', makeToken);
  $('logout').addEventListener('click', () => { delete document.body.dataset.role; });
});
document.addEventListener('adminshown', () => {
  $('tokenShown').hidden = true;
  loadSessionRole().catch(() => {});
});
