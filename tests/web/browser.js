'use strict';
// Debian's Chromium, headless, driven through the DevTools protocol by playwright-core (npm's own browser
// downloads cannot work here). Each launch has a fresh temporary profile, and the browser is told not to
// reach out anywhere on its own: it talks only to the node on loopback.
const { chromium } = require('playwright-core');

const executablePath = process.env.VANTOR_CHROMIUM || '/usr/bin/chromium';
const args = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'];

function launchBrowser() {
    return chromium.launch({ executablePath, args });
}

// A phone held upright and a laptop's window.
const viewports = { phone: { width: 390, height: 844 }, laptop: { width: 1280, height: 900 } };

module.exports = { launchBrowser, viewports };
