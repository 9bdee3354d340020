// The browser edition in headless Chromium: the page, the start, the clock,
// the controls, the canvas's pixels against the capture tool's PNGs, the end
// and the pages that cannot play.
//   node browser_test.mjs SITE-DIR CAPTURE-TOOL
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
    canvasRgb, capturePng, differingCells, frameCount, launchChromium, launchFirefox, musicTime,
    openPage, promptText, serveSite, waitForPrompt, waitFrames,
} from './site.mjs';

const [siteDir, capture] = process.argv.slice(2).map((p) => path.resolve(p));
if (!siteDir || !capture || !fs.existsSync(path.join(siteDir, 'index.html')) ||
    !fs.existsSync(capture)) {
    console.error('usage: node browser_test.mjs SITE-DIR CAPTURE-TOOL (build both first)');
    process.exit(2);
}
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'shadestrip-web-'));
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
let failures = 0;
let browserName = '';

function check(ok, what) {
    console.log(`${ok ? 'pass' : 'FAIL'}: ${browserName}: ${what}`);
    if (!ok)
        ++failures;
    return ok;
}

// The canvas against the capture at `seconds`; `allowed(column, row)` says
// which cells may differ (the read-outs, which the capture does not draw).
async function compareWithCapture(page, seconds, what, allowed = () => false) {
    const shown = await canvasRgb(page);
    const expected = capturePng(capture, seconds, scratch);
    const cells = differingCells(shown, expected);
    if (cells === null)
        return check(false, `${what}: the canvas is ${shown.width} x ${shown.height}`);
    const unexpected = cells.filter(([c, r]) => !allowed(c, r));
    if (unexpected.length)
        fs.writeFileSync(path.join(scratch, `canvas-${seconds.toFixed(2)}.rgb`), shown.rgb);
    check(unexpected.length === 0,
          `${what}: canvas pixels equal the capture at ${seconds.toFixed(2)} s` +
              (unexpected.length ? ` (${unexpected.length} cells differ, first at ` +
                                       `${unexpected[0]}; kept in ${scratch})` : ''));
    return cells;
}

// Centre of a cell in page coordinates.
async function cellPoint(page, column, row) {
    const box = await (await page.$('#screen')).boundingBox();
    return [box.x + (column + 0.5) * box.width / 80, box.y + (row + 0.5) * box.height / 50];
}

// A left-button drag along a row from one column to another, in steps.
async function drag(page, row, from, to) {
    let [x, y] = await cellPoint(page, from, row);
    await page.mouse.move(x, y);
    await page.mouse.down();
    const step = from < to ? 1 : -1;
    for (let c = from + step * 10; step > 0 ? c <= to : c >= to; c += step * 10) {
        [x, y] = await cellPoint(page, c, row);
        await page.mouse.move(x, y);
        await waitFrames(page, 1);
    }
    [x, y] = await cellPoint(page, to, row);
    await page.mouse.move(x, y);
    await waitFrames(page, 1);
    await page.mouse.up();
    await waitFrames(page, 3);
}

async function pressAndSettle(page, key) {
    await page.keyboard.press(key);
    await waitFrames(page, 4);
}

async function showChecks(browser, site) {
    // --- The show, from the first click to Escape ---
    const {page, problems} = await openPage(browser, site.url);
    await waitForPrompt(page, 'Click or press a key');
    check(await page.$eval('#screen', (c) => c.width === 720 && c.height === 800),
          'the canvas has 720 x 800 pixels of backing store');
    const before = await canvasRgb(page);
    check(before.rgb.every((v) => v === 0), 'before the start the picture is black');
    check(problems.length === 0, `the page loads with no console error ${problems.join('; ')}`);

    await page.click('#screen');
    await waitFrames(page, 5);
    const wall0 = Date.now(), t0 = await musicTime(page);
    await sleep(5000);
    const wall1 = Date.now(), t1 = await musicTime(page);
    const rate = (t1 - t0) / ((wall1 - wall0) / 1000);
    check(Math.abs(rate - 1) <= 0.05,
          `after a click t follows the wall clock (${rate.toFixed(3)} s of music a second)`);
    check(await page.title() === 'Please press alt+enter for full screen mode.',
          'the page title is the show\'s start title');

    // N: the sound stops and t runs on the timer; M: the sound comes back.
    const queued = () => page.evaluate(() => Module.audio.sources.length);
    await pressAndSettle(page, 'n');
    const silentFrom = await musicTime(page);
    await sleep(1000);
    const silentTo = await musicTime(page);
    check(await queued() === 0 && silentTo - silentFrom > 0.8 && silentTo - silentFrom < 1.3,
          `N: nothing queued to play, t runs on (${(silentTo - silentFrom).toFixed(2)} s in 1 s)`);
    await pressAndSettle(page, 'm');
    check(await queued() > 0, 'M: the music is queued again');

    await pressAndSettle(page, 'ArrowDown');
    check(await musicTime(page) === 83, 'Down pauses at 83.0');
    await compareWithCapture(page, 83, 'Down');

    await pressAndSettle(page, 'Home');
    check(await musicTime(page) === 0, 'Home seeks to 0');
    const home = await canvasRgb(page);
    check(home.rgb.every((v) => v === 0), 'Home shows black');
    await compareWithCapture(page, 0, 'Home');

    await pressAndSettle(page, 'ArrowDown');
    await pressAndSettle(page, ' ');
    check((await page.title()).startsWith('Tempus 83.0 est, et FPS'),
          `Space puts time and frame rate in the title ("${await page.title()}")`);

    // A right click pins the read-out at the clicked cell: the cross, then
    // the marker-relative column and the row, black on bright white.
    let [x, y] = await cellPoint(page, 5, 7);
    await page.mouse.click(x, y, {button: 'right'});
    await waitFrames(page, 3);
    const pinned = await compareWithCapture(page, 83, 'pinned read-out',
                                            (c, r) => r === 7 && c >= 5 && c <= 12);
    check(pinned && pinned.length === 8 && pinned.every(([c, r]) => r === 7 && c >= 5 && c <= 12),
          'the pinned read-out "(-35,7)" covers cells 5 to 12 of row 7');
    const shown = await canvasRgb(page);
    const colours = new Set();
    for (let py = 7 * 16; py < 8 * 16; ++py)
        for (let px = 5 * 9; px < 6 * 9; ++px) {
            const at = (py * 720 + px) * 3;
            colours.add(shown.rgb.subarray(at, at + 3).toString('hex'));
        }
    check(colours.size === 2 && colours.has('000000') && colours.has('ffffff'),
          'its first cell is the black cross on white');
    // Two presses within half a second make a double click; the pinning
    // press must lie further back than that.
    await sleep(600);
    await page.mouse.click(x, y, {button: 'right'});
    await page.mouse.click(x, y, {button: 'right'});
    await waitFrames(page, 3);
    await compareWithCapture(page, 83, 'a right double click removes the pin');

    // Dragging scrubs in tenths of a second: into the spark (77.0), then back
    // into the tree. The live read-out at the mouse (row 49) may differ.
    const readOut = (from) => (c, r) => r === 49 && c >= from;
    await drag(page, 49, 10, 70);
    check(await musicTime(page) === 77, `a drag of 60 columns to the right seeks to 77.0`);
    await compareWithCapture(page, 77, 'spark after a drag', readOut(70));
    for (let i = 0; i < 5; ++i)
        await drag(page, 49, 0, 79);
    const treeTime = await musicTime(page);
    const tenths = Math.round(treeTime * 10);
    check(Math.fround(tenths / 10) === treeTime && treeTime > 24 && treeTime < 48,
          `five more drags reach ${treeTime.toFixed(1)} s in the tree`);
    await compareWithCapture(page, tenths / 10, 'tree after drags', readOut(79));

    // Escape ends the show; the last frame stays and the page offers another.
    await page.keyboard.press('Escape');
    await waitForPrompt(page, 'The end.', 5000);
    const framesAtEnd = await frameCount(page);
    const last = await canvasRgb(page);
    await sleep(300);
    check(await frameCount(page) === framesAtEnd, 'Escape ends the show: no frame after it');
    check((await canvasRgb(page)).rgb.equals(last.rgb), 'the last frame stays on the canvas');
    await page.click('#screen');
    // A sound server may take a moment to start the new stream.
    await page.waitForFunction(() => Module._shadestrip_time() > 0, {timeout: 8000}).catch(() => {});
    const again = await musicTime(page);
    check(again > 0 && again < 8, `a click plays the show again from the start (t = ${again.toFixed(2)})`);
    await page.keyboard.press('Escape');
    await waitForPrompt(page, 'The end.', 5000);
    check(problems.length === 0, `no console error or uncaught exception ${problems.join('; ')}`);
    await page.close();

    // --- Pages that cannot play ---
    // The page says so as soon as it has tried to make the show ready, and a
    // click changes nothing.
    const failing = async (what, beforeLoad, message) => {
        const {page: p, problems: pp} = await openPage(browser, site.url, beforeLoad);
        await p.waitForFunction((m) => document.getElementById('prompt').textContent.includes(m),
                                {timeout: 10000}, message).catch(() => {});
        await p.click('#screen');
        await sleep(200);
        await p.waitForFunction((m) => document.getElementById('prompt').textContent.includes(m),
                                {timeout: 10000}, message).catch(() => {});
        const text = await promptText(p);
        check(text.includes(message) && pp.length === 0,
              `${what}: "${text}"${pp.length ? ' with ' + pp.join('; ') : ''}`);
        await p.close();
    };
    await failing('without Web Audio', () => {
        delete window.AudioContext;
        delete window.webkitAudioContext;
    }, 'Demo error. Cannot load music.');
    await failing('with the shade ramps missing', () => {
        window.Module = {dropResources: [104]};
    }, 'Demo error. Cannot initialize demo.');
    await failing('without WebAssembly', () => {
        delete window.WebAssembly;
    }, 'cannot run WebAssembly');
}

const site = await serveSite(siteDir);
try {
    for (const [name, launch] of [['Chromium', launchChromium], ['Firefox ESR', launchFirefox]]) {
        const browser = await launch();
        if (!browser) {
            console.log(`skip: ${name} (not installed, or no sound server for it)`);
            continue;
        }
        browserName = name;
        try {
            await showChecks(browser, site);
        } catch (error) {
            check(false, `the checks stopped: ${error.message}`);
        } finally {
            await browser.close();
        }
    }
} finally {
    site.close();
}
if (failures === 0)
    fs.rmSync(scratch, {recursive: true, force: true});
console.log(failures ? `${failures} check(s) failed` : 'all browser checks passed');
process.exit(failures ? 1 : 0);
