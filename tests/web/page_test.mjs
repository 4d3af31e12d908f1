// The node's page in headless Chromium, as a person uses it, against a running vantor-bridge of two sending
// Art-Net ports (port 1 on universe 0, port 2 on universe 1) that tests/web/page_test.sh starts.
// VANTOR_PAGE_URL: the page; VANTOR_BRIDGE_CONF: the node's file; VANTOR_PAGE_PASSWORD: set when the file
// has a password, which selects the cases of a node behind one.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { after, before, test } from 'node:test';
import { request } from 'playwright-core';
import { openBrowser } from './browser.mjs';
import { levelsOf, sendArtDmx, viewports } from './page_support.mjs';

const url = new URL('/', process.env.VANTOR_PAGE_URL).href;
const confPath = process.env.VANTOR_BRIDGE_CONF;
const password = process.env.VANTOR_PAGE_PASSWORD;
const patient = { timeout: 30000 };
// The control window's monitor paints a level as RGB(level, 0, 0): level 255 is pure red.
const LEVEL_255 = 'rgb(255, 0, 0)';

let browser;
let page;
before(async () => {
    browser = await openBrowser();
    page = await browser.newPage({ viewport: viewports.laptop });
    await page.goto(url);
    await page.waitForSelector('#port-2', patient);
});
after(() => browser && browser.close());

const conf = () => fs.readFileSync(confPath, 'utf8');
function portSection(text, number) {
    const start = text.indexOf(`[port ${number}]`);
    assert.notEqual(start, -1, `no [port ${number}] in the file`);
    const next = text.indexOf('\n[', start + 1);
    return text.slice(start, next === -1 ? undefined : next);
}

// Fills a port's settings form and presses Apply.
async function apply(number, fields) {
    const form = page.locator(`#port-${number} form.settings`);
    for (const [name, value] of Object.entries(fields)) {
        if (['mode', 'protocol', 'merge'].includes(name)) await form.locator(`[name=${name}]`).selectOption(value);
        else await form.locator(`[name=${name}]`).fill(String(value));
    }
    await form.locator('button[type=submit]').click();
}

const formError = (number) => page.locator(`#port-${number} form.settings .error`);

async function cellLevel(number, channel) {
    return page.locator(`#port-${number} .levels .cell[data-channel="${channel}"]`).getAttribute('data-level');
}

if (!password) {
    test('the page shows the node and its two ports, side by side on a laptop, one column on a phone', async () => {
        assert.equal(await page.locator('.port').count(), 2);
        for (const number of [1, 2]) {
            assert.equal(await page.locator(`#port-${number} .levels .cell`).count(), 512);
            await page.waitForSelector(`#port-${number}[data-link="linked"]`, patient);
        }
        assert.notEqual(await page.textContent('#node-interface'), '–');
        assert.equal(await page.textContent('#node-remote-config'), 'on');
        await page.waitForSelector('#connection[data-state="live"]', patient);
        const box = (selector) => page.locator(selector).boundingBox();
        let [one, two] = [await box('#port-1'), await box('#port-2')];
        assert.ok(two.x > one.x + one.width / 2 && Math.abs(two.y - one.y) < 2, 'side by side on a laptop');
        await page.setViewportSize(viewports.phone);
        [one, two] = [await box('#port-1'), await box('#port-2')];
        assert.ok(two.y > one.y + one.height - 2 && Math.abs(two.x - one.x) < 2, 'one column on a phone');
        assert.ok(one.x + one.width <= viewports.phone.width, 'nothing wider than the phone');
        const cell = await box('#port-1 .levels .cell[data-channel="1"]');
        assert.ok(cell.width >= 32 && cell.height >= 24, `cells readable on a phone: ${cell.width}x${cell.height}`);
        await page.setViewportSize(viewports.laptop);
    });

    test("ArtDmx for port 1's universe shows in its grid, channel 1 at 255 in the monitor's colour", async () => {
        await sendArtDmx(0, levelsOf((channel) => (channel === 1 ? 255 : channel)));
        const cell = page.locator('#port-1 .levels .cell[data-channel="1"][data-level="255"]');
        await cell.waitFor(patient);
        assert.equal(await cell.evaluate((element) => getComputedStyle(element).backgroundColor), LEVEL_255);
        assert.equal(await cell.textContent(), '255');
        await page.waitForSelector('#port-1 .cell[data-channel="300"][data-level="44"]', patient);
        assert.equal(await cellLevel(2, 1), '0', "port 2's universe had nothing");
    });

    test("port 2 moved to universe 2 on the page takes that universe's levels, and the file says so", async () => {
        await apply(2, { universe: 2 });
        await page.waitForSelector('#port-2 .port-summary:text("universe 2")', patient);
        assert.equal(await formError(2).textContent(), '');
        assert.match(portSection(conf(), 2), /^universe\s*=\s*2\s*$/m);
        assert.match(portSection(conf(), 1), /^universe\s*=\s*0\s*$/m);
        // The old universe first: a port that still listened there would end on its levels. page_test.sh
        // then checks that the widget's last frame is universe 2's.
        await sendArtDmx(1, levelsOf((channel) => channel * 3 + 1));
        await sendArtDmx(2, levelsOf((channel) => channel * 5 + 7));
        await page.waitForSelector('#port-2 .cell[data-channel="2"][data-level="17"]', patient);
    });

    test('a bad universe shows the node\'s reason and changes nothing', async () => {
        const before = conf();
        await apply(2, { universe: 70000 });
        await formError(2).filter({ hasText: /\S/ }).waitFor(patient);
        assert.match(await formError(2).textContent(), /70000|universe/i);
        assert.equal(conf(), before);
        const port = await (await page.request.get(`${url}api/ports/2`)).json();
        assert.equal(port.universe, 2);
    });

    test('port 1 set to merge by LTP on universe 1:2:3 shows 291 (1:2:3), and the file keeps both', async () => {
        await apply(1, { merge: 'ltp', universe: '1:2:3' });
        await page.waitForSelector('#port-1 .port-summary:text("universe 291 (1:2:3)")', patient);
        assert.equal(await formError(1).textContent(), '');
        assert.equal(await page.locator('#port-1 [name=merge]').inputValue(), 'ltp');
        assert.match(portSection(conf(), 1), /^merge\s*=\s*ltp\s*$/m);
        assert.match(portSection(conf(), 1), /^universe\s*=\s*(291|1:2:3)\s*$/m);
    });

    test('locate marks the port on the page until it is turned off', async () => {
        const card = page.locator('#port-2');
        await card.locator('.locate').click();
        await page.waitForSelector('#port-2.locating .locate[aria-pressed="true"]', patient);
        assert.ok(await card.locator('.locating-badge').isVisible());
        await card.locator('.locate').click();
        await page.waitForSelector('#port-2:not(.locating) .locate[aria-pressed="false"]', patient);
    });

    test('the search lists both widgets with the ports that use them', async () => {
        await page.click('#search-button');
        await page.waitForSelector('#search-state:text("2 found")', patient);
        const found = await page.locator('#search-results li').allTextContents();
        for (const number of [1, 2]) assert.ok(found.some((line) => line.includes(`port ${number}`)), found.join('\n'));
    });

    test('a firmware update asks first, naming port and widget, then shows the pages written and the end', async () => {
        const card = page.locator('#port-1');
        const sent = [];
        page.on('request', (asked) => asked.url().endsWith('/firmware') && sent.push(asked));
        const image = Buffer.from(Array.from({ length: 6144 }, (_, index) => (index * 7) & 255));
        await card.locator('[name=image]').setInputFiles({ name: 'firmware.bin', mimeType: 'application/octet-stream', buffer: image });
        const ask = async () => {
            await card.locator('form.firmware button[type=submit]').click();
            await page.waitForSelector('#firmware-confirm[open]', patient);
        };
        await ask();
        assert.match(await page.textContent('#firmware-question'), /firmware\.bin .*port 1 .*widget 00000001/);
        await page.click('#firmware-confirm button[value=cancel]');
        await ask();
        assert.equal(sent.length, 0, 'nothing sent before the update is confirmed');
        await page.click('#firmware-go');
        await card.locator('.firmware-message[data-state="updated"]').waitFor({ timeout: 120000 });
        assert.equal(sent.length, 1);
        assert.equal(await card.locator('form.firmware progress').evaluate((bar) => bar.value), 96);
    });

    test('a change from a page of another site is refused', async () => {
        const before = conf();
        const other = await request.newContext({ extraHTTPHeaders: { Origin: 'http://evil.example' } });
        try {
            const answer = await other.put(`${url}api/ports/1`, { data: { universe: 5 } });
            assert.equal(answer.status(), 403);
            assert.ok((await answer.json()).error, 'the refusal says why');
        } finally {
            await other.dispose();
        }
        assert.equal(conf(), before);
    });
} else {
    test('behind a password the page asks for it, and a change without it is refused and shown', async () => {
        await page.waitForSelector('#login:not([hidden])', patient);
        const before = conf();
        await apply(1, { name: 'stage' });
        await formError(1).filter({ hasText: /\S/ }).waitFor(patient);
        assert.match(await formError(1).textContent(), /log in|password|refused/i);
        assert.equal(conf(), before);
    });

    test('a wrong password is said so; the right one lets the change through to the file', async () => {
        const login = page.locator('#login');
        await login.locator('[name=password]').fill('not the password');
        await login.locator('button[type=submit]').click();
        await login.locator('.error').filter({ hasText: /\S/ }).waitFor(patient);
        assert.match(await login.locator('.error').textContent(), /wrong password|too many/i);
        // Slowed down after a wrong try: the page says for how long, and the right password then passes.
        for (;;) {
            await login.locator('[name=password]').fill(password);
            const answered = page.waitForResponse((answer) => answer.url().endsWith('/api/login'));
            await login.locator('button[type=submit]').click();
            const answer = await answered;
            if (answer.status() !== 429) break;
            assert.match(await login.locator('.error').textContent(), /try again/i);
            await page.waitForTimeout(1000 * ((await answer.json()).retryAfter || 1));
        }
        await page.waitForSelector('#login', { state: 'hidden', ...patient });
        await apply(1, { name: 'stage' });
        await page.waitForSelector('#port-1 .port-title:text("stage")', patient);
        assert.match(portSection(conf(), 1), /^name\s*=\s*stage\s*$/m);
    });
}
