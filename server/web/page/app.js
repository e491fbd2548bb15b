// The web admin page: login, then a live view over /api/live with actions sent as JSON POSTs,
// and views for the settings, the rotation and the bans.
// Engine text is only ever set as text, never parsed as markup.
'use strict';

const CONSOLE_LIMIT = 1000;
const HISTORY_LIMIT = 100;
const GRAPH_SPAN_MS = 10 * 60 * 1000;

const $ = (id) => document.getElementById(id);
const state = {
  socket: null,
  reconnectDelay: 1000,
  reconnectTimer: null,
  players: [],
  sortKey: 'id',
  sortDescending: false,
  consoleLines: [],
  lastSeq: 0,
  runId: '',
  history: [],
  historyIndex: 0,
  samples: [],
  status: null,
  rotation: [],
  worlds: [],
  draft: null,  // the rotation being edited, until it is applied or undone
  bans: [],
  pendingConfirm: null,
};

// ---- requests ----

async function api(path, body) {
  const options = body === undefined ? {} : {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  };
  options.credentials = 'same-origin';
  const response = await fetch(path, options);
  let data = null;
  try { data = await response.json(); } catch (e) { data = null; }
  return { status: response.status, data, response };
}

function errorText(result) {
  return (result.data && result.data.error) ? result.data.error : 'HTTP ' + result.status;
}

// ---- login ----

function showLogin(message) {
  closeSocket();
  $('admin').hidden = true;
  $('login').hidden = false;
  $('loginMessage').textContent = message || '';
  $('password').value = '';
  $('password').focus();
}

async function login(event) {
  event.preventDefault();
  const button = $('loginButton');
  button.disabled = true;
  try {
    const body = { password: $('password').value };
    if ($('loginName').value) body.name = $('loginName').value;
    const result = await api('/api/login', body);
    if (result.status === 200) {
      $('password').value = '';
      showAdmin();
    } else if (result.status === 429) {
      const wait = result.response.headers.get('Retry-After');
      $('loginMessage').textContent = 'Too many wrong passwords. Try again in ' + wait + ' s.';
    } else if (result.status === 401) {
      $('loginMessage').textContent = 'Wrong name or password.';
    } else {
      $('loginMessage').textContent = errorText(result);
    }
  } catch (e) {
    $('loginMessage').textContent = 'The server cannot be reached.';
  } finally {
    button.disabled = false;
  }
}

async function logout() {
  try { await api('/api/logout', {}); } catch (e) { /* the session ends with the server */ }
  showLogin('Logged out.');
}

// ---- the live socket ----

function showAdmin() {
  $('login').hidden = true;
  $('admin').hidden = false;
  document.dispatchEvent(new Event('adminshown'));
  loadHealth();
  loadSettings();
  loadWorlds();
  loadBans();
  openSocket();
}

function showView(id) {
  document.querySelectorAll('.view').forEach((view) => { view.hidden = view.id !== id; });
  document.querySelectorAll('nav.views button').forEach((button) => {
    if (button.dataset.view === id) button.setAttribute('aria-current', 'page');
    else button.removeAttribute('aria-current');
  });
  if (id === 'overview') drawGraph();
}

// ---- the confirmation asked before a kick or a change of map ----

function confirmThen(question, answer, action) {
  state.pendingConfirm = action;
  $('confirmQuestion').textContent = question;
  $('confirmYes').textContent = answer;
  $('confirmDialog').returnValue = '';  // Escape leaves the last answer in place
  $('confirmDialog').showModal();
}

function confirmClosed() {
  const action = state.pendingConfirm;
  state.pendingConfirm = null;
  if (action && $('confirmDialog').returnValue === 'yes') action();
}

function setConnection(text, kind) {
  const badge = $('connection');
  badge.textContent = text;
  badge.className = 'badge' + (kind ? ' ' + kind : '');
}

function closeSocket() {
  clearTimeout(state.reconnectTimer);
  state.reconnectTimer = null;
  if (state.socket) {
    state.socket.onclose = null;
    state.socket.close();
    state.socket = null;
  }
}

function openSocket() {
  closeSocket();
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  // The run the sequence number belongs to: a server started since answers from its first line.
  const run = state.runId ? '&run=' + encodeURIComponent(state.runId) : '';
  const socket = new WebSocket(scheme + location.host + '/api/live?after=' + state.lastSeq + run);
  state.socket = socket;
  setConnection('connecting');
  socket.onopen = () => {
    state.reconnectDelay = 1000;
    setConnection('live', 'live');
  };
  socket.onmessage = (event) => {
    let message;
    try { message = JSON.parse(event.data); } catch (e) { return; }
    handleEvent(message);
  };
  socket.onclose = (event) => {
    state.socket = null;
    showUnreachable();
    if (event.code === 4401) {
      showLogin('Your session has ended. Log in again.');
      return;
    }
    setConnection('reconnecting', 'down');
    scheduleReconnect();
  };
}

// After a restart the session is gone: ask before reopening, so the login shows instead.
function scheduleReconnect() {
  clearTimeout(state.reconnectTimer);
  state.reconnectTimer = setTimeout(async () => {
    try {
      const result = await api('/api/status');
      if (result.status === 401) { showLogin('Log in again.'); return; }
      if (result.status === 200) { loadHealth(); openSocket(); return; }
    } catch (e) { /* not back yet */ }
    state.reconnectDelay = Math.min(state.reconnectDelay * 2, 10000);
    scheduleReconnect();
  }, state.reconnectDelay);
}

// Nothing seen while the socket is down holds: no state, no player to kick.
function showUnreachable() {
  state.status = null;
  $('state').textContent = 'unreachable';
  renderPlayers();
}

// Console sequence numbers start over with every run of the server.
function startRun(runId) {
  if (state.runId && runId !== state.runId) {
    state.lastSeq = 0;
    $('worldMessage').textContent = '';
    addLocalLine('The server was restarted.');
  }
  state.runId = runId;
}

function handleEvent(message) {
  const data = message.data;
  switch (message.type) {
    case 'hello': startRun(data.runId); break;
    case 'status': showStatus(data); renderPlayers(); break;
    case 'players': state.players = data; renderPlayers(); break;
    case 'joined':
      if (!state.players.some((p) => p.id === data.id)) { state.players.push(data); renderPlayers(); }
      break;
    case 'left': state.players = state.players.filter((p) => p.id !== data.id); renderPlayers(); break;
    case 'console': data.forEach(addConsoleLine); break;
    case 'rotation': state.rotation = data; renderRotation(); renderDraft(); break;
    case 'health': addSample(data); break;
    case 'setting': showSetting(data); break;
    case 'saved': showSaved(data.written); break;
    case 'bans': loadBans(); break;
    default: break;
  }
}

// ---- status ----

function formatBytes(perSecond) {
  if (perSecond >= 1048576) return (perSecond / 1048576).toFixed(1) + ' MB/s';
  if (perSecond >= 1024) return (perSecond / 1024).toFixed(1) + ' kB/s';
  return Math.round(perSecond) + ' B/s';
}

function formatDuration(seconds) {
  seconds = Math.max(0, Math.floor(seconds));
  const days = Math.floor(seconds / 86400);
  const h = Math.floor(seconds % 86400 / 3600);
  const m = Math.floor(seconds % 3600 / 60);
  const s = seconds % 60;
  const clock = [h, m, s].map((n) => String(n).padStart(2, '0')).join(':');
  return days > 0 ? days + 'd ' + clock : clock;
}

function showStatus(status) {
  state.status = status;
  $('state').textContent = status.state;
  $('world').textContent = status.world || '-';
  $('worldName').textContent = status.world || '-';
  $('playerCount').textContent = status.players + ' of ' + status.maxPlayers;
  $('updateRate').textContent = status.updateRate.toFixed(1) + ' per second';
  $('traffic').textContent = 'out ' + formatBytes(status.sendRate) + ', in ' + formatBytes(status.receiveRate);
  $('uptime').textContent = formatDuration(status.uptimeSeconds);
  $('version').textContent = status.version;
}

// ---- players ----

function compareBy(key, numeric) {
  return (a, b) => {
    const x = a[key]; const y = b[key];
    if (numeric) return x - y;
    return String(x).localeCompare(String(y), undefined, { sensitivity: 'base' }) || a.id - b.id;
  };
}

function renderPlayers() {
  const header = document.querySelector('#players th[data-key="' + state.sortKey + '"]');
  const numeric = header && header.dataset.numeric === '1';
  const sorted = state.players.slice().sort(compareBy(state.sortKey, numeric));
  if (state.sortDescending) sorted.reverse();
  document.querySelectorAll('#players th[data-key]').forEach((th) => {
    if (th.dataset.key === state.sortKey) th.setAttribute('aria-sort', state.sortDescending ? 'descending' : 'ascending');
    else th.removeAttribute('aria-sort');
  });
  // Rows are kept per player and only their changed cells rewritten, so a button under the
  // pointer stays the same button while the list refreshes.
  const body = document.querySelector('#players tbody');
  const existing = new Map();
  for (const row of body.children) existing.set(row.dataset.id, row);
  const kickable = state.status !== null && state.status.state === 'running';
  sorted.forEach((player, position) => {
    const row = existing.get(String(player.id)) || playerRow(player);
    row.player = player;
    row.querySelector('button.kick').disabled = !kickable;
    const values = [player.id, player.name, player.team, player.specialty, player.ping,
      formatDuration(player.connectedSeconds)];
    values.forEach((value, column) => {
      const cell = row.cells[column];
      if (cell.textContent !== String(value)) cell.textContent = value;
    });
    if (body.children[position] !== row) body.insertBefore(row, body.children[position] || null);
  });
  while (body.children.length > sorted.length) body.lastElementChild.remove();
  $('noPlayers').hidden = sorted.length > 0;
}

function playerRow(player) {
  const row = document.createElement('tr');
  row.dataset.id = player.id;
  for (let column = 0; column < 6; column++) row.appendChild(document.createElement('td'));
  const actions = document.createElement('td');
  actions.className = 'actions';
  const kick = document.createElement('button');
  kick.type = 'button';
  kick.className = 'kick';
  kick.dataset.need = 'moderator';
  kick.textContent = 'Kick';
  kick.dataset.need = 'moderator';
  kick.addEventListener('click', () => askKick(row.player));
  actions.appendChild(kick);
  row.appendChild(actions);
  return row;
}

function sortBy(key) {
  if (state.sortKey === key) state.sortDescending = !state.sortDescending;
  else { state.sortKey = key; state.sortDescending = false; }
  renderPlayers();
}

function askKick(player) {
  const pending = { id: player.id, name: player.name };
  confirmThen('Kick ' + player.name + ' (id ' + player.id + ') from the server?', 'Kick', async () => {
    const result = await api('/api/kick', { id: pending.id });
    if (result.status !== 200) addLocalLine('Kick ' + pending.name + ': ' + errorText(result));
  });
}

// ---- world ----

// The list keeps the operator's choice; until there is one it shows the running world.
function renderRotation() {
  const list = $('mapList');
  const chosen = list.dataset.chosen === '1' ? list.value : '';
  list.replaceChildren(...state.rotation.map((entry) => {
    const option = document.createElement('option');
    option.value = entry.index;
    option.textContent = (entry.index + 1) + '. ' + entry.world;
    return option;
  }));
  const running = state.rotation.find((e) => state.status && e.world === state.status.world);
  if (chosen !== '' && state.rotation.some((e) => String(e.index) === chosen)) list.value = chosen;
  else if (running) list.value = String(running.index);
  $('changeMap').disabled = state.rotation.length === 0;
}

function askChangeMap() {
  const index = Number($('mapList').value);
  if (!Number.isInteger(index)) return;
  const entry = state.rotation.find((e) => e.index === index);
  const world = entry ? entry.world : 'entry ' + (index + 1);
  confirmThen('Change the map to ' + world + '? Every player moves to it.', 'Change map',
    () => changeMap(index));
}

async function changeMap(index) {
  // The world shown goes along: a rotation edited meanwhile is refused rather than followed.
  const entry = state.rotation.find((e) => e.index === index);
  $('mapList').dataset.chosen = '';
  const result = await api('/api/changemap', entry ? { index, world: entry.world } : { index });
  const message = $('worldMessage');
  if (result.status === 200) {
    message.textContent = 'Changing to ' + (entry ? entry.world : 'entry ' + index) + '.';
    message.className = 'message ok';
  } else {
    message.textContent = errorText(result);
    message.className = 'message';
  }
}

// ---- settings ----

const settingFields = new Map();  // variable name -> { field, input, message }

async function loadSettings() {
  try {
    const result = await api('/api/settings');
    if (result.status === 200 && Array.isArray(result.data)) renderSettings(result.data);
  } catch (e) { /* the live events fill in changes */ }
}

function renderSettings(groups) {
  settingFields.clear();
  $('settingGroups').replaceChildren(...groups.map((group) => {
    const set = document.createElement('fieldset');
    const legend = document.createElement('legend');
    legend.textContent = group.group;
    set.appendChild(legend);
    group.fields.forEach((field) => set.appendChild(settingRow(field)));
    return set;
  }));
}

function settingRow(field) {
  const row = document.createElement('div');
  row.className = 'setting';
  const id = 'setting-' + field.name;
  const label = document.createElement('label');
  label.htmlFor = id;
  label.textContent = field.label;
  let input;
  if (field.kind === 'switch') {
    input = document.createElement('input');
    input.type = 'checkbox';
  } else if (field.kind === 'bandwidth') {
    input = document.createElement('select');
    field.presets.forEach((name, index) => {
      const option = document.createElement('option');
      option.value = index;
      option.textContent = name;
      input.appendChild(option);
    });
  } else if (field.kind === 'percent') {
    input = document.createElement('input');
    input.type = 'range';
    input.min = field.minimum;
    input.max = field.maximum;
  } else {
    input = document.createElement('input');
    input.type = field.kind === 'password' ? 'password' : 'text';
    if (field.kind === 'password') input.autocomplete = 'new-password';
    if (field.kind === 'integer') input.inputMode = 'numeric';
    input.spellcheck = false;
  }
  input.id = id;
  input.dataset.need = 'admin';
  const note = document.createElement('span');
  note.className = 'note';
  note.id = id + '-note';
  const message = document.createElement('span');
  message.className = 'message';
  message.id = id + '-message';
  message.setAttribute('aria-live', 'polite');
  input.setAttribute('aria-describedby', note.id + ' ' + message.id);
  input.addEventListener('change', () => sendSetting(field.name));
  if (field.kind === 'percent') input.addEventListener('input', () => { note.textContent = input.value + ' %'; });
  row.append(label, input, note, message);
  settingFields.set(field.name, { field, input, note, message });
  showSetting(field);
  return row;
}

// A value the server holds now.
function showSetting(field) {
  const entry = settingFields.get(field.name);
  if (!entry) return;
  entry.field = field;
  const { input, note } = entry;
  // Not under the operator's hands: what they are typing, or a refusal they still have to mend.
  if (input.getAttribute('aria-invalid') === 'true') return;
  if (document.activeElement === input && input.type !== 'checkbox') return;
  if (field.kind === 'password') {
    showPassword(input, field.set);
  } else if (field.kind === 'switch') {
    input.checked = field.value === 1;
  } else {
    input.value = field.value;
    note.textContent = field.kind === 'percent' ? field.value + ' %' : '';
  }
}

// A password is never shown, only whether one is set.
function showPassword(input, set) {
  input.value = '';
  input.placeholder = set ? 'set (type to change)' : 'not set';
}

async function sendSetting(name) {
  const { field, input, message } = settingFields.get(name);
  const value = field.kind === 'switch' ? (input.checked ? 1 : 0) : input.value;
  const result = await api('/api/settings', { [name]: value });
  if (result.status === 200) {
    input.removeAttribute('aria-invalid');
    message.textContent = '';
    if (field.kind === 'password') showPassword(input, value !== '');
  } else {
    input.setAttribute('aria-invalid', 'true');
    message.textContent = errorText(result);
  }
}

// ---- rotation ----

async function loadWorlds() {
  try {
    const result = await api('/api/worlds');
    if (result.status === 200 && Array.isArray(result.data)) {
      state.worlds = result.data;
      renderWorlds();
    }
  } catch (e) { /* none to offer */ }
}

function itemButton(text, label, action) {
  const button = document.createElement('button');
  button.type = 'button';
  button.className = 'small';
  button.textContent = text;
  button.setAttribute('aria-label', label);
  button.dataset.need = 'admin';
  button.addEventListener('click', action);
  return button;
}

function renderWorlds() {
  $('worldList').replaceChildren(...state.worlds.map((world) => {
    const item = document.createElement('li');
    const name = document.createElement('span');
    name.textContent = world;
    item.append(name, itemButton('Add', 'Add ' + world + ' to the rotation', () => {
      editDraft((draft) => draft.push(world));
    }));
    return item;
  }));
}

function draftWorlds() {
  return state.draft || state.rotation.map((e) => e.world);
}

function editDraft(change, focusIndex) {
  const draft = draftWorlds().slice();
  change(draft);
  state.draft = draft;
  $('rotationMessage').textContent = '';
  renderDraft(focusIndex);
}

function moveEntry(index, step) {
  const to = index + step;
  if (to < 0 || to >= draftWorlds().length) return;
  editDraft((draft) => { const [world] = draft.splice(index, 1); draft.splice(to, 0, world); }, to);
}

function removeEntry(index) {
  const left = draftWorlds().length - 1;
  editDraft((draft) => draft.splice(index, 1), Math.min(index, left - 1));
}

function renderDraft(focusIndex) {
  const worlds = draftWorlds();
  const count = worlds.length;
  $('rotationList').replaceChildren(...worlds.map((world, index) => {
    const item = document.createElement('li');
    item.tabIndex = 0;
    const name = document.createElement('span');
    name.textContent = world;
    const up = itemButton('Up', 'Move ' + world + ' up', () => moveEntry(index, -1));
    const down = itemButton('Down', 'Move ' + world + ' down', () => moveEntry(index, 1));
    up.disabled = index === 0;
    down.disabled = index === count - 1;
    const remove = itemButton('Remove', 'Remove ' + world + ' from the rotation', () => removeEntry(index));
    remove.classList.add('danger');
    item.append(name, up, down, remove);
    item.addEventListener('keydown', (event) => {
      if (event.target !== item) return;
      if (event.altKey && event.key === 'ArrowUp') { event.preventDefault(); moveEntry(index, -1); }
      if (event.altKey && event.key === 'ArrowDown') { event.preventDefault(); moveEntry(index, 1); }
      if (event.key === 'Delete') { event.preventDefault(); removeEntry(index); }
    });
    return item;
  }));
  const edited = state.draft !== null;
  $('applyRotation').disabled = !edited || count === 0;
  $('resetRotation').disabled = !edited;
  if (focusIndex !== undefined && focusIndex >= 0) {
    const item = $('rotationList').children[focusIndex];
    if (item) item.focus();
  }
}

async function applyRotation() {
  const worlds = draftWorlds();
  const result = await api('/api/rotation', { worlds });
  const message = $('rotationMessage');
  if (result.status === 200) {
    state.draft = null;
    message.textContent = 'Rotation applied.';
    message.className = 'message ok';
  } else {
    message.textContent = errorText(result);
    message.className = 'message';
  }
  renderDraft();
}

// ---- saving ----

function showSaved(written) {
  const saved = $('saved');
  saved.textContent = written ? 'saved' : 'not saved';
  saved.className = 'saved' + (written ? '' : ' failed');
  saved.title = timeOf(Date.now());
}

async function saveNow() {
  const result = await api('/api/save', {});
  if (result.status !== 200) addLocalLine('Save: ' + errorText(result));
}

// ---- bans ----

async function loadBans() {
  try {
    const result = await api('/api/bans');
    if (result.status === 200 && Array.isArray(result.data)) {
      state.bans = result.data;
      renderBans();
    }
  } catch (e) { /* a role without bans */ }
}

function expiryText(until) {
  if (until === 0) return 'never (for good)';
  return new Date(until * 1000).toLocaleString([], { hour12: false });
}

function renderBans() {
  const body = document.querySelector('#banTable tbody');
  body.replaceChildren(...state.bans.map((ban) => {
    const row = document.createElement('tr');
    [ban.name, expiryText(ban.until), ban.by, ban.reason].forEach((text) => {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.appendChild(cell);
    });
    const actions = document.createElement('td');
    actions.className = 'actions';
    const lift = itemButton('Lift', 'Lift the ban on ' + ban.name, () => liftBan(ban.name));
    lift.dataset.need = 'moderator';
    actions.appendChild(lift);
    row.appendChild(actions);
    return row;
  }));
  $('noBans').hidden = state.bans.length > 0;
}

function banMessage(text, ok) {
  $('banMessage').textContent = text;
  $('banMessage').className = 'message' + (ok ? ' ok' : '');
}

async function ban(event) {
  event.preventDefault();
  const name = $('banName').value;
  const minutes = $('banForGood').checked ? 0 : Number($('banMinutes').value);
  const result = await api('/api/bans', { name, minutes, reason: $('banReason').value });
  if (result.status === 200) {
    banMessage('Banned ' + name + '.', true);
    $('banName').value = '';
    $('banReason').value = '';
  } else {
    banMessage(errorText(result), false);
  }
}

async function liftBan(name) {
  const result = await api('/api/bans/remove', { name });
  banMessage(result.status === 200 ? 'The ban on ' + name + ' is lifted.' : errorText(result),
    result.status === 200);
}

// ---- console ----

function timeOf(ms) {
  return new Date(ms).toLocaleTimeString([], { hour12: false });
}

function consoleLineElement(line) {
  const element = document.createElement('div');
  if (line.local) element.className = 'error';
  const time = document.createElement('span');
  time.className = 'time';
  time.textContent = timeOf(line.time) + ' ';
  element.append(time, document.createTextNode(line.text));
  return element;
}

function matchesFilter(line) {
  const filter = $('consoleFilter').value.trim().toLowerCase();
  return !filter || line.text.toLowerCase().includes(filter);
}

function appendShown(line) {
  const view = $('console');
  const follow = view.scrollTop + view.clientHeight >= view.scrollHeight - 4;
  view.appendChild(consoleLineElement(line));
  while (view.childElementCount > CONSOLE_LIMIT) view.firstElementChild.remove();
  if (follow) view.scrollTop = view.scrollHeight;
}

function addConsoleLine(line) {
  if (line.seq <= state.lastSeq) return;  // a reconnect's catch-up may repeat what came live
  state.lastSeq = line.seq;
  state.consoleLines.push(line);
  if (state.consoleLines.length > CONSOLE_LIMIT) state.consoleLines.shift();
  if (matchesFilter(line)) appendShown(line);
}

function addLocalLine(text) {
  const line = { time: Date.now(), text, local: true };
  state.consoleLines.push(line);
  appendShown(line);
}

function renderConsole() {
  const view = $('console');
  view.replaceChildren(...state.consoleLines.filter(matchesFilter).map(consoleLineElement));
  view.scrollTop = view.scrollHeight;
}

async function sendCommand(event) {
  event.preventDefault();
  const field = $('command');
  const command = field.value;
  if (!command.trim()) return;
  const result = await api('/api/command', { command });
  if (result.status === 200) {
    if (state.history[state.history.length - 1] !== command) state.history.push(command);
    if (state.history.length > HISTORY_LIMIT) state.history.shift();
    state.historyIndex = state.history.length;
    field.value = '';
  } else {
    addLocalLine(command + ': ' + errorText(result));
  }
}

function browseHistory(event) {
  if (event.key !== 'ArrowUp' && event.key !== 'ArrowDown') return;
  event.preventDefault();
  const step = event.key === 'ArrowUp' ? -1 : 1;
  state.historyIndex = Math.max(0, Math.min(state.history.length, state.historyIndex + step));
  $('command').value = state.history[state.historyIndex] || '';
}

// ---- graph ----

async function loadHealth() {
  try {
    const result = await api('/api/health');
    if (result.status === 200 && Array.isArray(result.data)) {
      state.samples = result.data.filter((s) => typeof s.time === 'number');
      drawGraph();
    }
  } catch (e) { /* the live samples fill it */ }
}

function addSample(sample) {
  if (typeof sample.time !== 'number') return;
  state.samples.push(sample);
  const oldest = sample.time - GRAPH_SPAN_MS;
  while (state.samples.length && state.samples[0].time < oldest) state.samples.shift();
  drawGraph();
}

function drawGraph() {
  const canvas = $('graph');
  const ratio = window.devicePixelRatio || 1;
  const width = canvas.clientWidth || 520;
  const height = canvas.clientHeight || 170;
  if (canvas.width !== Math.round(width * ratio)) {
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
  }
  const g = canvas.getContext('2d');
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  g.clearRect(0, 0, width, height);
  const left = 34; const right = width - 30; const top = 8; const bottom = height - 18;
  const samples = state.samples;
  const end = samples.length ? samples[samples.length - 1].time : Date.now();
  const start = end - GRAPH_SPAN_MS;
  const maxRate = Math.max(40, ...samples.map((s) => s.updateRate || 0));
  const maxPlayers = Math.max(8, state.status ? state.status.maxPlayers : 0,
    ...samples.map((s) => s.players || 0));

  g.strokeStyle = '#d5dce3';
  g.fillStyle = '#5d6b7a';
  g.font = '11px system-ui, sans-serif';
  g.lineWidth = 1;
  for (let i = 0; i <= 4; i++) {
    const y = top + (bottom - top) * i / 4;
    g.beginPath(); g.moveTo(left, y); g.lineTo(right, y); g.stroke();
    g.textAlign = 'right';
    g.fillText(String(Math.round(maxRate * (4 - i) / 4)), left - 4, y + 4);
    g.textAlign = 'left';
    g.fillText(String(Math.round(maxPlayers * (4 - i) / 4)), right + 4, y + 4);
  }
  g.textAlign = 'center';
  for (let minute = 0; minute <= 10; minute += 2) {
    const x = left + (right - left) * (10 - minute) / 10;
    g.fillText(minute === 0 ? 'now' : '-' + minute + ' min', x, height - 4);
  }

  const line = (value, max, color) => {
    g.strokeStyle = color;
    g.lineWidth = 2;
    g.beginPath();
    let started = false;
    for (const s of samples) {
      if (s.time < start) continue;
      const x = left + (right - left) * (s.time - start) / GRAPH_SPAN_MS;
      const y = bottom - (bottom - top) * Math.min(1, (value(s) || 0) / max);
      if (started) g.lineTo(x, y); else { g.moveTo(x, y); started = true; }
    }
    g.stroke();
  };
  line((s) => s.updateRate, maxRate, '#1f77b4');
  line((s) => s.players, maxPlayers, '#d9822b');

  const last = samples[samples.length - 1];
  $('rateNow').textContent = last ? '(' + (last.updateRate || 0).toFixed(1) + ')' : '';
  $('playersNow').textContent = last ? '(' + last.players + ')' : '';
}

// ---- start ----

async function start() {
  $('loginForm').addEventListener('submit', login);
  $('logout').addEventListener('click', logout);
  $('commandForm').addEventListener('submit', sendCommand);
  $('command').addEventListener('keydown', browseHistory);
  $('consoleFilter').addEventListener('input', renderConsole);
  $('changeMap').addEventListener('click', askChangeMap);
  $('mapList').addEventListener('change', () => { $('mapList').dataset.chosen = '1'; });
  $('confirmDialog').addEventListener('close', confirmClosed);
  $('save').addEventListener('click', saveNow);
  $('applyRotation').addEventListener('click', applyRotation);
  $('resetRotation').addEventListener('click', () => { state.draft = null; renderDraft(); });
  $('banForm').addEventListener('submit', ban);
  $('banForGood').addEventListener('change', () => { $('banMinutes').disabled = $('banForGood').checked; });
  document.querySelectorAll('nav.views button').forEach((button) => {
    button.addEventListener('click', () => showView(button.dataset.view));
  });
  document.querySelectorAll('#players th[data-key]').forEach((th) => {
    th.addEventListener('click', () => sortBy(th.dataset.key));
    th.addEventListener('keydown', (e) => { if (e.key === 'Enter') sortBy(th.dataset.key); });
  });
  window.addEventListener('resize', drawGraph);
  try {
    const result = await api('/api/status');
    if (result.status === 200) { showStatus(result.data); showAdmin(); } else showLogin();
  } catch (e) {
    showLogin('The server cannot be reached.');
  }
}

document.addEventListener('DOMContentLoaded', start);
