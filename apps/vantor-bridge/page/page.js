'use strict';
// The node's page: the node and one card per port, kept current by the live feed (/api/live), with the
// settings, locate, search and firmware going through the node's JSON API. Everything from the node or the
// network is put in as text, never as markup: source names come from anyone on the lighting network.

const CHANNELS = 512;
const ports = new Map(); // port number -> { card, status, cells, levels }
let node = null;
let socket = null;
let searchTimer = 0;

const byId = (id) => document.getElementById(id);
const show = (element, on) => { element.hidden = !on; };

// The channel monitor of the control window shows a level as red of that level over no green or blue, with
// the number in white: 0 black, 255 pure red (rgb(255, 0, 0)). The grid does the same.
function levelColour(level) {
    return `rgb(${level}, 0, 0)`;
}

class ApiError extends Error {
    constructor(status, body) {
        super(errorText(status, body));
        this.status = status;
    }
}

function errorText(status, body) {
    const said = (body && body.error) || `the node answered ${status}`;
    if (status === 401) return `Not logged in: ${said}`;
    if (status === 403) return `Refused: ${said}`;
    if (status === 429) {
        const wait = body && body.retryAfter && !/again/.test(said) ? ` Try again in ${body.retryAfter} s.` : '';
        return `Slowed down: ${said}.${wait}`;
    }
    return said;
}

// A call of the API: the answer's JSON, or an ApiError with the node's own words. A 401 opens the login.
async function api(method, path, body, contentType = 'application/json') {
    const options = { method, credentials: 'same-origin', headers: {} };
    if (body !== undefined) {
        options.headers['Content-Type'] = contentType;
        options.body = contentType === 'application/json' ? JSON.stringify(body) : body;
    }
    let answer;
    try {
        answer = await fetch(path, options);
    } catch (error) {
        throw new ApiError(0, { error: `the node cannot be reached (${error.message})` });
    }
    const json = (answer.headers.get('Content-Type') || '').includes('json')
        ? await answer.json().catch(() => null) : null;
    if (answer.status === 401) showLogin(true);
    if (!answer.ok) throw new ApiError(answer.status, json);
    return json;
}

function pageError(text) {
    const element = byId('page-error');
    element.textContent = text || '';
    show(element, Boolean(text));
}

// "1 h 2 min 5 s": from the largest unit that is not 0.
function duration(seconds) {
    let rest = Math.floor(seconds || 0);
    const parts = [];
    for (const [size, unit] of [[86400, 'd'], [3600, 'h'], [60, 'min'], [1, 's']]) {
        const count = Math.floor(rest / size);
        rest %= size;
        if (count || parts.length || size === 1) parts.push(`${count} ${unit}`);
    }
    return parts.join(' ');
}

const rate = (value) => (Number(value) || 0).toFixed(1);

// The live feed's node has no session fields: those of the last /api/node stand.
function renderNode(next) {
    node = { ...node, ...next };
    byId('node-name').textContent = node.name || 'Vantor DMX bridge';
    document.title = `${node.name || 'Vantor DMX'} – bridge`;
    byId('node-interface').textContent = node.interface || '–';
    byId('node-address').textContent = node.address || '–';
    byId('node-mac').textContent = node.mac || '–';
    byId('node-version').textContent = node.version || '–';
    byId('node-uptime').textContent = duration(node.uptime);
    byId('node-remote-config').textContent = node.remoteConfig === undefined ? '–' : node.remoteConfig ? 'on' : 'off';
    show(byId('logout-button'), node.passwordSet && node.session);
    if (node.passwordSet && !node.session) showLogin(true);
    else if (node.session) showLogin(false);
}

function showLogin(on) {
    const form = byId('login');
    if (on && form.hidden) form.querySelector('.error').textContent = '';
    show(form, on);
}

// --- Port cards --------------------------------------------------------------------------------------------

function makeCard(number) {
    const card = byId('port-template').content.firstElementChild.cloneNode(true);
    card.id = `port-${number}`;
    card.dataset.port = number;
    const grid = card.querySelector('.levels');
    grid.setAttribute('aria-label', `Port ${number}: the levels of channels 1 to ${CHANNELS}`);
    const cells = [];
    for (let channel = 1; channel <= CHANNELS; ++channel) {
        const cell = document.createElement('span');
        cell.className = 'cell';
        cell.dataset.channel = channel;
        cell.title = `channel ${channel}`;
        cells.push(cell);
    }
    grid.append(...cells);
    const entry = { card, status: null, cells, levels: null };
    ports.set(number, entry);
    showLevels(number, new Uint8Array(CHANNELS));

    const settings = card.querySelector('form.settings');
    settings.addEventListener('input', () => {
        settings.dataset.edited = 'yes';
        showMergeField(settings);
    });
    settings.addEventListener('submit', (event) => { event.preventDefault(); applySettings(number); });
    card.querySelector('.locate').addEventListener('click', () => toggleLocate(number));
    card.querySelector('form.firmware').addEventListener('submit', (event) => {
        event.preventDefault();
        askFirmware(number);
    });
    return card;
}

function text(card, selector, value) {
    card.querySelector(selector).textContent = value === undefined || value === '' ? '–' : String(value);
}

function protocolName(protocol) {
    return protocol === 'sacn' ? 'sACN' : protocol === 'artnet' ? 'Art-Net' : protocol;
}

// An Art-Net universe's 15-bit Port-Address as the console's net:sub:uni.
function netSubUni(universe) {
    return `${universe >> 8}:${(universe >> 4) & 15}:${universe & 15}`;
}

function universeText(port) {
    return port.protocol === 'artnet' ? `${port.universe} (${netSubUni(port.universe)})` : String(port.universe);
}

// When the widget gets its levels, when the console synchronises them.
function syncWords(sync) {
    return sync.startsWith('sACN ') ? `in step with sACN sync ${sync.slice(5)}` : `in step with ${sync}`;
}

function renderPort(port) {
    let entry = ports.get(port.number);
    if (!entry) {
        byId('ports').append(makeCard(port.number));
        entry = ports.get(port.number);
    }
    entry.status = port;
    const card = entry.card;
    const widget = port.widget || {};
    card.querySelector('.port-title').textContent = `${port.number}: ${port.label || port.name || `port ${port.number}`}`;
    const priority = port.protocol === 'sacn' ? ` · priority ${port.priority}` : '';
    text(card, '.port-summary', `${port.mode} · ${protocolName(port.protocol)} universe ${universeText(port)}${priority}`);
    const serial = widget.serialNumber ? `serial ${widget.serialNumber}` : '';
    text(card, '.widget-id', [serial, widget.path || port.device].filter(Boolean).join(', '));
    text(card, '.widget-firmware', widget.firmware);
    text(card, '.widget-link', widget.link);
    text(card, '.widget-status', widget.status);
    text(card, '.frames-in', rate(port.framesInPerSecond));
    text(card, '.frames-out', rate(port.framesOutPerSecond));
    text(card, '.merge', port.merge);
    card.classList.toggle('merging', Boolean(port.merging));
    show(card.querySelector('.sync-fact'), Boolean(port.sync));
    text(card, '.sync', port.sync ? syncWords(port.sync) : '');
    const drops = Object.entries(port.drops || {}).map(([reason, count]) => `${reason}: ${count}`);
    text(card, '.drops', drops.length ? drops.join(', ') : 'none');
    text(card, '.last-message', port.lastMessage);
    card.dataset.link = widget.link || '';

    card.classList.toggle('locating', Boolean(port.locating));
    const locate = card.querySelector('.locate');
    locate.setAttribute('aria-pressed', String(Boolean(port.locating)));
    locate.textContent = port.locating ? 'Stop locating' : 'Locate';

    renderSources(card, port.sources || []);
    fillSettings(card.querySelector('form.settings'), port, false);
    renderFirmware(card, port.firmwareUpdate || {});
}

function renderSources(card, sources) {
    const body = card.querySelector('.sources tbody');
    const rows = sources.map((source) => {
        const row = document.createElement('tr');
        row.classList.toggle('winning', Boolean(source.winning));
        for (const value of [source.name || '–', source.address, source.priority, rate(source.packetsPerSecond),
            source.winning ? 'winner' : '']) {
            const cell = document.createElement('td');
            cell.textContent = value;
            row.append(cell);
        }
        return row;
    });
    if (!rows.length) {
        const row = document.createElement('tr');
        const cell = document.createElement('td');
        cell.colSpan = 5;
        cell.className = 'none';
        cell.textContent = 'none heard';
        row.append(cell);
        rows.push(row);
    }
    body.replaceChildren(...rows);
}

// The form's fields and the port's status fields they show.
const SETTINGS = { mode: 'mode', protocol: 'protocol', universe: 'universe', priority: 'priority', name: 'name',
    longName: 'longName', merge: 'mergeMode' };

// The fields follow the port unless someone is editing them.
function fillSettings(form, port, always) {
    if (!always && form.dataset.edited === 'yes') return;
    delete form.dataset.edited;
    for (const [field, key] of Object.entries(SETTINGS)) form.elements[field].value = port[key] ?? '';
    showMergeField(form);
}

// Only an Art-Net port that sends to its widget merges two consoles.
function showMergeField(form) {
    const merges = form.elements.mode.value === 'send' && form.elements.protocol.value === 'artnet';
    show(form.querySelector('.merge-field'), merges);
}

function renderFirmware(card, update) {
    const progress = card.querySelector('form.firmware progress');
    progress.max = update.of || 96;
    progress.value = update.pages || 0;
    show(progress, update.state && update.state !== 'none');
    const message = card.querySelector('.firmware-message');
    const state = update.state || 'none';
    const words = { running: `Writing page ${update.pages || 0} of ${update.of || 96}`, updated: 'Updated',
        failed: 'Failed' }[state];
    // The widget's own words, not its row of page marks ('.' written, 'x' refused), which the bar shows.
    const said = /^[.x]*$/.test(update.message || '') ? '' : update.message;
    message.textContent = words ? [words, said].filter(Boolean).join(': ') : '';
    message.dataset.state = state;
    card.querySelector('form.firmware button').disabled = state === 'running';
}

function renderPorts(list) {
    const seen = new Set();
    for (const port of list) {
        seen.add(port.number);
        renderPort(port);
    }
    for (const [number, entry] of ports) {
        if (!seen.has(number)) {
            entry.card.remove();
            ports.delete(number);
        }
    }
}

function showLevels(number, levels) {
    const entry = ports.get(number);
    if (!entry) return;
    const previous = entry.levels;
    for (let index = 0; index < CHANNELS; ++index) {
        const level = levels[index] ?? 0;
        if (previous && previous[index] === level) continue;
        const cell = entry.cells[index];
        cell.textContent = level;
        cell.dataset.level = level;
        cell.style.backgroundColor = levelColour(level);
    }
    entry.levels = Uint8Array.from(levels);
}

// --- Changes -----------------------------------------------------------------------------------------------

async function applySettings(number) {
    const entry = ports.get(number);
    const form = entry.card.querySelector('form.settings');
    const error = form.querySelector('.error');
    error.textContent = '';
    const change = {};
    for (const field of ['mode', 'protocol', 'name', 'longName', 'merge']) {
        const value = form.elements[field].value;
        if (value !== String(entry.status[SETTINGS[field]] ?? '')) change[field] = value;
    }
    for (const field of ['universe', 'priority']) {
        const value = form.elements[field].value.trim();
        if (value === '') {
            error.textContent = `The ${field} must be a whole number${field === 'universe' ? ', or net:sub:uni' : ''}.`;
            return;
        }
        // net:sub:uni goes as the text it is, for the node to check as the file's.
        if (value !== String(entry.status[field])) change[field] = value.includes(':') ? value : Number(value);
    }
    if (!Object.keys(change).length) {
        error.textContent = 'Nothing to change.';
        return;
    }
    const button = form.querySelector('button');
    button.disabled = true;
    try {
        const port = await api('PUT', `/api/ports/${number}`, change);
        renderPort(port);
        fillSettings(form, port, true);
    } catch (failure) {
        error.textContent = failure.message;
    } finally {
        button.disabled = false;
    }
}

async function toggleLocate(number) {
    const entry = ports.get(number);
    const error = entry.card.querySelector('.port-error');
    error.textContent = '';
    try {
        renderPort(await api('POST', `/api/ports/${number}/locate`, { on: !entry.status.locating }));
    } catch (failure) {
        error.textContent = failure.message;
    }
}

function askFirmware(number) {
    const entry = ports.get(number);
    const form = entry.card.querySelector('form.firmware');
    const error = form.querySelector('.error');
    const file = form.elements.image.files[0];
    error.textContent = '';
    if (!file) {
        error.textContent = 'Choose a firmware file first.';
        return;
    }
    const widget = entry.status.widget || {};
    const who = widget.serialNumber ? `widget ${widget.serialNumber}` : 'widget';
    byId('firmware-question').textContent =
        `Write ${file.name} (${file.size} bytes) to port ${number} (${entry.status.label || `port ${number}`}), ` +
        `its ${who} at ${widget.path || entry.status.device}? Its DMX stops until the update ends.`;
    const dialog = byId('firmware-confirm');
    dialog.dataset.port = number;
    dialog.returnValue = '';
    dialog.onclose = () => {
        if (dialog.returnValue === 'update') sendFirmware(number, file);
    };
    dialog.showModal();
}

async function sendFirmware(number, file) {
    const form = ports.get(number).card.querySelector('form.firmware');
    const error = form.querySelector('.error');
    try {
        const bytes = await file.arrayBuffer();
        renderPort(await api('POST', `/api/ports/${number}/firmware`, bytes, 'application/octet-stream'));
    } catch (failure) {
        error.textContent = failure.message;
    }
}

// --- Search ------------------------------------------------------------------------------------------------

async function search() {
    const section = byId('search');
    show(section, true);
    byId('search-state').textContent = 'Searching…';
    byId('search-button').disabled = true;
    try {
        await api('POST', '/api/search', {});
        await pollSearch();
    } catch (failure) {
        byId('search-state').textContent = failure.message;
        byId('search-button').disabled = false;
    }
}

async function pollSearch() {
    clearTimeout(searchTimer);
    const found = await api('GET', '/api/search');
    const items = (found.widgets || []).map((widget) => {
        const item = document.createElement('li');
        const used = widget.port ? `port ${widget.port}` : 'no port uses it';
        item.textContent = [widget.serialNumber && `serial ${widget.serialNumber}`, widget.byId || widget.path,
            widget.firmware && `firmware ${widget.firmware}`, used].filter(Boolean).join(' · ');
        return item;
    });
    byId('search-results').replaceChildren(...items);
    if (found.searching) {
        searchTimer = setTimeout(() => pollSearch().catch((failure) => {
            byId('search-state').textContent = failure.message;
        }), 500);
        return;
    }
    byId('search-state').textContent = items.length ? `${items.length} found.` : 'No widget found.';
    byId('search-button').disabled = false;
}

// --- Login -------------------------------------------------------------------------------------------------

async function logIn(event) {
    event.preventDefault();
    const form = byId('login');
    const error = form.querySelector('.error');
    error.textContent = '';
    try {
        await api('POST', '/api/login', { password: form.elements.password.value });
        form.elements.password.value = '';
        showLogin(false);
        disconnect();
        await load();
    } catch (failure) {
        error.textContent = failure.status === 401 ? 'Wrong password.' : failure.message;
    }
}

async function logOut() {
    try {
        await api('POST', '/api/logout', {});
        disconnect();
        await load();
    } catch (failure) {
        pageError(failure.message);
    }
}

// --- Loading and the live feed -----------------------------------------------------------------------------

async function load() {
    try {
        renderNode(await api('GET', '/api/node'));
        const list = (await api('GET', '/api/ports')).ports || [];
        renderPorts(list);
        await Promise.all(list.map(async (port) => {
            const answer = await api('GET', `/api/ports/${port.number}/levels`);
            showLevels(port.number, answer.levels || []);
        }));
        pageError('');
        connect();
    } catch (failure) {
        if (failure.status === 401) {
            // Behind the password even to read: nothing of the node stays in sight.
            if (node && node.readNeedsPassword) renderPorts([]);
            return;
        }
        pageError(failure.message);
        setTimeout(load, 2000);
    }
}

// The feed's session is the one its handshake carried: after a login or logout it starts again.
function disconnect() {
    if (!socket) return;
    socket.onclose = null;
    socket.close();
    socket = null;
    connectionState('closed', 'not connected');
}

function connectionState(state, words) {
    const element = byId('connection');
    element.dataset.state = state;
    element.textContent = words;
}

function connect() {
    if (socket && socket.readyState <= WebSocket.OPEN) return;
    const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
    socket = new WebSocket(`${scheme}://${location.host}/api/live`);
    socket.binaryType = 'arraybuffer';
    socket.onopen = () => connectionState('live', 'live');
    socket.onmessage = (event) => {
        if (typeof event.data === 'string') {
            const message = JSON.parse(event.data);
            if (message.type !== 'status') return;
            if (message.node) renderNode(message.node);
            if (message.ports) renderPorts(message.ports);
        } else {
            const bytes = new Uint8Array(event.data);
            if (bytes.length >= 1 + CHANNELS) showLevels(bytes[0], bytes.subarray(1, 1 + CHANNELS));
        }
    };
    socket.onclose = () => {
        connectionState('closed', 'reconnecting');
        socket = null;
        setTimeout(load, 2000);
    };
}

byId('login').addEventListener('submit', logIn);
byId('logout-button').addEventListener('click', logOut);
byId('search-button').addEventListener('click', search);
load();
