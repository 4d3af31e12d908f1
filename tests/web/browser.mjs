// Debian's Chromium, headless, as the page's tests, screenshots and benchmark open it: a fresh profile each
// time, and nothing that would reach past this machine's loopback.
import { chromium } from 'playwright-core';

export const chromiumPath = '/usr/bin/chromium';

export function openBrowser() {
    return chromium.launch({
        executablePath: chromiumPath,
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
}
