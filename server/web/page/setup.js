// The one-time setup page: the token comes in the address's fragment, which the browser never
// sends, and goes to the server only with the password.
'use strict';

function setupToken() {
  const match = /(?:^#|&)token=([0-9a-f]+)/.exec(location.hash);
  return match ? match[1] : '';
}

async function setOwnerPassword(event) {
  event.preventDefault();
  const message = document.getElementById('setupMessage');
  const password = document.getElementById('password').value;
  if (password !== document.getElementById('again').value) {
    message.textContent = 'The two passwords differ.';
    return;
  }
  const response = await fetch('/setup', {
    method: 'POST',
    credentials: 'same-origin',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ token: setupToken(), password }),
  });
  let data = null;
  try { data = await response.json(); } catch (e) { data = null; }
  if (response.status === 200) {
    history.replaceState(null, '', '/setup');
    message.className = 'message ok';
    message.textContent = 'The owner password is set. ';
    const link = document.createElement('a');
    link.href = '/';
    link.textContent = 'Log in';
    message.appendChild(link);
    document.getElementById('setupButton').disabled = true;
  } else {
    message.textContent = (data && data.error) ? data.error : 'HTTP ' + response.status;
  }
}

document.addEventListener('DOMContentLoaded', () => {
  document.getElementById('setupForm').addEventListener('submit', setOwnerPassword);
  if (!setupToken()) {
    document.getElementById('setupMessage').textContent =
      'Open the address the server printed on its console, token included.';
  }
});
