// The desk's page: everything the fleet says is put in as text, never as markup.
'use strict';

const state = { csrf: '', signs: new Map(), rows: new Map(), jobs: new Map(), socket: null, shotSign: '', loggedIn: false };
// Health past these limits shows in the warning colour.
const LIMITS = { diskMb: 500, memoryMb: 100, load: 4, clockSeconds: 30, temperature: 75 };

const $ = (id) => document.getElementById(id);
function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = String(text);
  if (cls) e.className = cls;
  return e;
}
function say(id, text, good) {
  const p = $(id);
  p.textContent = text;
  p.className = 'message ' + (good === undefined ? '' : good ? 'good' : 'bad');
}

async function api(method, path, body) {
  const options = { method, credentials: 'same-origin', headers: {} };
  if (method === 'POST') {
    options.headers['X-CSRF-Token'] = state.csrf;
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(body || {});
  }
  const response = await fetch(path, options);
  let data = {};
  try { data = await response.json(); } catch (e) { data = {}; }
  if (response.status === 401 && path !== '/api/login') showLogin('登录已过期，请重新登录');
  if (!response.ok && !data.message) data.message = '请求失败（' + response.status + '）';
  data.status = response.status;
  return data;
}

// A change the desk runs in the background: its result comes over the WebSocket or by asking.
function runJob(path, body, onDone) {
  return api('POST', path, body).then((answer) => {
    if (!answer.job) { onDone(Object.assign({ ok: false }, answer)); return; }
    state.jobs.set(answer.job, onDone);
    const poll = () => {
      if (!state.jobs.has(answer.job)) return;
      api('GET', '/api/job?id=' + encodeURIComponent(answer.job)).then((r) => {
        if (r.done) finishJob(r); else setTimeout(poll, 1500);
      });
    };
    setTimeout(poll, 1500);
  });
}
function finishJob(result) {
  const done = state.jobs.get(result.job);
  if (!done) return;
  state.jobs.delete(result.job);
  done(result);
}

function showLogin(message) {
  state.loggedIn = false;
  if (state.socket) { state.socket.onclose = null; state.socket.close(); state.socket = null; }
  $('desk').hidden = true;
  $('login').hidden = false;
  say('login-message', message || '');
  $('password').focus();
}

function showDesk(csrf) {
  state.csrf = csrf;
  state.loggedIn = true;
  $('login').hidden = true;
  $('desk').hidden = false;
  const today = new Date();
  const day = (d) => d.getFullYear() + '-' + String(d.getMonth() + 1).padStart(2, '0') + '-' + String(d.getDate()).padStart(2, '0');
  if (!$('playlog-from').value) $('playlog-from').value = day(new Date(today.getTime() - 6 * 86400000));
  if (!$('playlog-to').value) $('playlog-to').value = day(today);
  connect();
  loadAudit();
}

function connect() {
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  const socket = new WebSocket(scheme + location.host + '/ws');
  state.socket = socket;
  socket.onopen = () => { $('link').textContent = '实时'; $('link').className = 'link'; };
  socket.onmessage = (event) => {
    let m;
    try { m = JSON.parse(event.data); } catch (e) { return; }
    if (m.type === 'all') { state.signs.clear(); m.signs.forEach(takeState); render(); }
    else if (m.type === 'states') { m.signs.forEach(takeState); render(); }
    else if (m.type === 'retired') { state.signs.delete(m.sign); render(); }
    else if (m.type === 'job') finishJob(m);
    else if (m.type === 'audit') loadAudit();
  };
  socket.onclose = () => {
    if (state.socket !== socket) return;
    $('link').textContent = '连接断开，重连中…';
    $('link').className = 'link down';
    // A closed session sends the page back to the login; anything else is retried.
    setTimeout(() => api('GET', '/api/session').then((r) => { if (r.ok && state.loggedIn) connect(); }), 3000);
  };
}

function takeState(s) { if (s && typeof s.sign === 'string') state.signs.set(s.sign, s); }

function formatTime(ms) {
  if (!ms) return '-';
  const d = new Date(ms);
  const two = (n) => String(n).padStart(2, '0');
  return (d.getMonth() + 1) + '-' + two(d.getDate()) + ' ' + two(d.getHours()) + ':' + two(d.getMinutes()) + ':' + two(d.getSeconds());
}
function formatDuration(seconds) {
  if (typeof seconds !== 'number') return '-';
  if (seconds < 3600) return Math.floor(seconds / 60) + '分';
  if (seconds < 86400) return Math.floor(seconds / 3600) + '时';
  return Math.floor(seconds / 86400) + '天';
}

function healthCell(s) {
  const td = el('td', null, 'health');
  const add = (label, value, bad) => { if (value !== null) td.appendChild(el('span', label + ' ' + value, bad ? 'warn' : '')); };
  const n = (x) => typeof x === 'number';
  add('盘', n(s.disk_free_mb) ? (s.disk_free_mb / 1024).toFixed(1) + 'G' : null, s.disk_free_mb < LIMITS.diskMb);
  add('存', n(s.memory_free_mb) ? s.memory_free_mb + 'M' : null, s.memory_free_mb < LIMITS.memoryMb);
  add('载', n(s.load) ? s.load.toFixed(2) : null, s.load > LIMITS.load);
  add('运行', n(s.uptime) ? formatDuration(s.uptime) : null, false);
  add('钟', n(s.clock_offset) ? (s.clock_offset >= 0 ? '+' : '') + s.clock_offset.toFixed(1) + '秒' : null,
      Math.abs(s.clock_offset) > LIMITS.clockSeconds);
  add('温', n(s.temperature) ? s.temperature.toFixed(0) + '°C' : null, s.temperature > LIMITS.temperature);
  return td;
}

function actionButton(text, cls, handler) {
  const b = el('button', text, cls);
  b.type = 'button';
  b.addEventListener('click', (e) => { e.stopPropagation(); handler(b); });
  return b;
}

function buildRow(s) {
  const tr = document.createElement('tr');
  tr.dataset.sign = s.sign;
  const online = s.online === true;
  const presence = s.presence === 'unknown' ? 'unknown' : online ? 'online' : 'offline';
  tr.className = presence === 'online' ? '' : 'offline';
  tr.appendChild(el('td', s.sign, 'sign'));
  tr.appendChild(el('td', presence === 'online' ? '在线' : presence === 'unknown' ? '未知' : '离线',
                    presence === 'online' ? 'online online-cell' : presence === 'unknown' ? 'unknown-cell' : 'online-cell'));
  tr.appendChild(el('td', Array.isArray(s.groups) ? s.groups.join(', ') : ''));
  tr.appendChild(el('td', s.plan || '-'));
  tr.appendChild(el('td', s.page || '-', 'wrap'));
  tr.appendChild(el('td', formatTime(s.since)));
  tr.appendChild(el('td', s.bundle ? String(s.bundle).slice(0, 12) : '-'));
  tr.appendChild(el('td', s.program || '-'));
  tr.appendChild(healthCell(s));
  tr.appendChild(el('td', s.error || '', 'wrap error'));
  const actions = el('td', null, 'actions');
  actions.appendChild(actionButton('截图', 'quiet', () => openShot(s.sign)));
  actions.appendChild(actionButton('重启', 'quiet', (b) => {
    if (!confirm('重启屏 ' + s.sign + ' 上的程序？')) return;
    b.disabled = true;
    runJob('/api/restart', { sign: s.sign }, (r) => { b.disabled = false; alertResult(r); });
  }));
  actions.appendChild(actionButton('退役', 'danger', (b) => {
    if (!confirm('让屏 ' + s.sign + ' 退役？它在服务器上保留的消息会被清除。')) return;
    b.disabled = true;
    runJob('/api/retire', { sign: s.sign }, (r) => { b.disabled = false; alertResult(r); });
  }));
  tr.appendChild(actions);
  tr.addEventListener('click', () => openShot(s.sign));
  if (s.sign === state.shotSign) tr.classList.add('selected');
  return tr;
}

function alertResult(r) { say('shot-message', r.message || '', !!r.ok); if (!r.ok) window.alert(r.message || '失败'); }

function matches(s) {
  const group = $('group-filter').value;
  const text = $('search').value.trim().toLowerCase();
  if (group && !(Array.isArray(s.groups) && s.groups.includes(group))) return false;
  return !text || s.sign.toLowerCase().includes(text);
}

let renderQueued = false;
function render() {
  if (renderQueued) return;
  renderQueued = true;
  requestAnimationFrame(() => { renderQueued = false; renderNow(); });
}

function renderNow() {
  const body = $('signs').tBodies[0];
  const groups = new Set();
  let online = 0;
  const ids = Array.from(state.signs.keys()).sort();
  const wanted = [];
  for (const id of ids) {
    const s = state.signs.get(id);
    (s.groups || []).forEach((g) => groups.add(g));
    if (s.online === true) online++;
    if (!matches(s)) continue;
    const key = JSON.stringify(s) + (id === state.shotSign);
    let row = state.rows.get(id);
    if (!row || row.key !== key) {
      const tr = buildRow(s);
      if (row) row.tr.replaceWith(tr);
      row = { tr, key };
      state.rows.set(id, row);
    }
    wanted.push(row.tr);
  }
  for (const [id, row] of state.rows) if (!state.signs.has(id)) { row.tr.remove(); state.rows.delete(id); }
  // Rows in order, touching the table only where it differs.
  let at = body.firstChild;
  for (const tr of wanted) {
    if (at === tr) { at = at.nextSibling; continue; }
    body.insertBefore(tr, at);
  }
  while (at) { const next = at.nextSibling; body.removeChild(at); at = next; }
  $('counts').textContent = '共 ' + state.signs.size + ' 块屏，在线 ' + online + ' 块';
  const filter = $('group-filter');
  const known = new Set(Array.from(filter.options).map((o) => o.value));
  const list = $('groups');
  for (const g of Array.from(groups).sort()) {
    if (known.has(g)) continue;
    filter.appendChild(new Option(g, g));
    const o = document.createElement('option');
    o.value = g;
    list.appendChild(o);
  }
}

function openShot(sign) {
  state.shotSign = sign;
  $('shot-panel').hidden = false;
  $('shot-sign').textContent = sign;
  render();
  refreshShot();
}

function refreshShot() {
  const sign = state.shotSign;
  say('shot-message', '正在向 ' + sign + ' 要截图…');
  $('shot-refresh').disabled = true;
  runJob('/api/shot', { sign }, (r) => {
    $('shot-refresh').disabled = false;
    if (sign !== state.shotSign) return;
    say('shot-message', r.message || '', !!r.ok);
    if (r.ok) $('shot-image').src = '/api/shot.png?sign=' + encodeURIComponent(sign) + '&t=' + Date.now();
  });
}

function appliedText(r) {
  let text = r.message || '';
  if (Array.isArray(r.applied) && r.applied.length) text += '\n已应用：' + r.applied.join(', ');
  if (Array.isArray(r.missing) && r.missing.length) text += '\n未应用：' + r.missing.join(', ');
  return text;
}

function sendAnnouncement(clear) {
  const forever = $('announce-forever').checked;
  const body = {
    group: $('announce-group').value.trim(),
    widget: $('announce-widget').value.trim(),
    minutes: forever ? 0 : Number($('announce-minutes').value || 0),
    text: $('announce-text').value,
    clear,
  };
  say('announce-result', clear ? '正在清除…' : '正在发布…');
  $('announce-send').disabled = $('announce-clear').disabled = true;
  runJob('/api/announce', body, (r) => {
    $('announce-send').disabled = $('announce-clear').disabled = false;
    say('announce-result', appliedText(r), !!r.ok && !(r.missing || []).length);
  });
}

function publish(path, label) {
  const group = $('publish-group').value.trim();
  if (!group) { say('publish-result', '请填写组', false); return; }
  say('publish-result', label + '中…（等各屏应用，最多 30 秒）');
  $('publish-send').disabled = $('rollback-send').disabled = true;
  runJob(path, { group }, (r) => {
    $('publish-send').disabled = $('rollback-send').disabled = false;
    say('publish-result', appliedText(r), !!r.ok && !(r.missing || []).length);
  });
}

function queryPlayLog() {
  const body = { group: $('playlog-group').value.trim(), from: $('playlog-from').value, to: $('playlog-to').value };
  say('playlog-result', '正在向各屏要播放记录（最多 10 秒）…');
  $('playlog-send').disabled = true;
  $('playlog-csv').hidden = true;
  runJob('/api/playlog', body, (r) => {
    $('playlog-send').disabled = false;
    let text = r.message || '';
    if (Array.isArray(r.missing) && r.missing.length) text += '：' + r.missing.join(', ');
    say('playlog-result', text, !!r.ok && !(r.missing || []).length);
    const table = $('playlog-table');
    const tbody = table.tBodies[0];
    tbody.replaceChildren();
    if (!r.ok) { table.hidden = true; return; }
    for (const row of r.rows || []) {
      const tr = document.createElement('tr');
      for (const key of ['sign', 'day', 'plan', 'page', 'seconds']) tr.appendChild(el('td', row[key]));
      tbody.appendChild(tr);
    }
    table.hidden = false;
    $('playlog-csv').href = '/api/playlog.csv?job=' + encodeURIComponent(r.job);
    $('playlog-csv').hidden = false;
  });
}

function loadAudit() {
  api('GET', '/api/audit').then((r) => {
    if (!r.ok) return;
    const tbody = $('audit').tBodies[0];
    tbody.replaceChildren();
    for (const e of r.entries.slice(0, 50)) {
      const tr = document.createElement('tr');
      for (const key of ['time', 'address', 'action', 'target']) tr.appendChild(el('td', e[key]));
      tr.appendChild(el('td', e.result, 'wrap'));
      tbody.appendChild(tr);
    }
  });
}

document.addEventListener('DOMContentLoaded', () => {
  $('login-form').addEventListener('submit', (e) => {
    e.preventDefault();
    $('login-button').disabled = true;
    api('POST', '/api/login', { password: $('password').value }).then((r) => {
      $('login-button').disabled = false;
      $('password').value = '';
      if (r.ok) showDesk(r.csrf); else say('login-message', r.message, false);
    });
  });
  $('logout').addEventListener('click', () => api('POST', '/api/logout').then(() => showLogin('已退出')));
  $('group-filter').addEventListener('change', render);
  $('search').addEventListener('input', render);
  $('shot-refresh').addEventListener('click', refreshShot);
  $('shot-close').addEventListener('click', () => { state.shotSign = ''; $('shot-panel').hidden = true; render(); });
  $('announce-form').addEventListener('submit', (e) => { e.preventDefault(); sendAnnouncement(false); });
  $('announce-clear').addEventListener('click', () => sendAnnouncement(true));
  $('announce-forever').addEventListener('change', () => { $('announce-minutes').disabled = $('announce-forever').checked; });
  $('publish-form').addEventListener('submit', (e) => { e.preventDefault(); publish('/api/publish', '发布'); });
  $('rollback-send').addEventListener('click', () => {
    if (confirm('让组 ' + $('publish-group').value + ' 回到上一个节目包？')) publish('/api/rollback', '回退');
  });
  $('playlog-form').addEventListener('submit', (e) => { e.preventDefault(); queryPlayLog(); });
  api('GET', '/api/session').then((r) => { if (r.ok) showDesk(r.csrf); else showLogin(''); });
});
