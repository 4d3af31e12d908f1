// Opens the node's page in headless Chromium and counts what its live feed brings: prints "watching" once
// the page has loaded and the feed runs, then, after SECONDS, the level updates and status messages a
// second. For bench/bench_bridge_page.
//   node tests/web/watch_page.mjs URL SECONDS
import { openBrowser } from './browser.mjs';

const [url, seconds] = [process.argv[2], Number(process.argv[3] ?? 10)];
const browser = await openBrowser();
try {
    const page = await browser.newPage();
    let levels = 0, status = 0, counting = false;
    page.on('websocket', (socket) => socket.on('framereceived', ({ payload }) => {
        if (!counting) return;
        if (typeof payload === 'string') ++status; else ++levels;
    }));
    await page.goto(url);
    await page.waitForSelector('#port-1');
    counting = true;
    console.log('watching');
    await new Promise((done) => setTimeout(done, seconds * 1000));
    console.log(`levels_per_second ${levels / seconds} status_per_second ${status / seconds}`);
} finally {
    await browser.close();
}
