// The README's pictures of the node's page (scripts/screenshot page): the whole page with its two ports on a
// laptop's screen, and port 1's live grid, once channel 1 shows 255.
// Usage: node page_shots.mjs URL FOLDER
import path from 'node:path';
import { openBrowser } from './browser.mjs';
import { viewports } from './page_support.mjs';

async function main([url, folder]) {
    const browser = await openBrowser();
    try {
        const page = await browser.newPage({ viewport: viewports.laptop });
        await page.goto(url);
        for (const number of [1, 2]) await page.waitForSelector(`#port-${number}[data-link="linked"]`, { timeout: 30000 });
        await page.waitForSelector('#port-1 .cell[data-channel="1"][data-level="255"]', { timeout: 30000 });
        await page.waitForSelector('#connection[data-state="live"]', { timeout: 30000 });
        await page.screenshot({ path: path.join(folder, 'page-overview.png'), fullPage: true });
        await page.locator('#port-1 .levels').screenshot({ path: path.join(folder, 'page-grid.png') });
    } finally {
        await browser.close();
    }
}

main(process.argv.slice(2)).catch((error) => {
    console.error(`page_shots: ${error.message}`);
    process.exit(1);
});
