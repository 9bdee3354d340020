// The browser edition in headless Chromium: the page, the start, the clock,
// the controls, the canvas's pixels against the capture tool's PNGs, the end
// and the pages that cannot play.
//   node browser_test.mjs SITE-DIR CAPTURE-TOOL TRACK
// (TRACK: the music.ogg the desktop build embeds.)
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
    canvasRgb, capturePng, differingCells, frameCount, launchChromium, launchFirefox, musicTime,
    openPage, promptText, serveSite, waitForPrompt, waitFrames,
} from './site.mjs';

const [siteDir, capture, track] = process.argv.slice(2).map((p) => path.resolve(p));
if (!siteDir || !capture || !track || !fs.existsSync(path.join(siteDir, 'index.html')) ||
    !fs.existsSync(capture) || !fs.existsSync(track)) {
    console.error('usage: node browser_test.mjs SITE-DIR CAPTURE-TOOL TRACK (build them first)');
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
    // Every message the page shows, to see the loading progress.
    const {page, problems} = await openPage(browser, site.url, () => {
        window.shownMessages = [];
        document.addEventListener('DOMContentLoaded', () => {
            const prompt = document.getElementById('prompt');
            new MutationObserver(() => window.shownMessages.push(prompt.textContent))
                .observe(prompt, {childList: true, characterData: true, subtree: true});
        });
    });
    await waitForPrompt(page, 'Click or press a key');
    const messages = await page.evaluate(() => window.shownMessages);
    const expected = Math.round((fs.statSync(path.join(siteDir, 'shadestrip.wasm')).size +
                                 fs.statSync(track).size) / 1024).toLocaleString('en');
    check(messages.some((m) => m.startsWith('Loading the show: ') && m.includes(` of ${expected} KB`)),
          `while loading the page counts the kilobytes of the module and the track ` +
              `("${messages.find((m) => m.includes('KB'))}", of ${expected} KB)`);
    check(await page.evaluate(() => Module.musicFile) === 'music.ogg' &&
              fs.readFileSync(path.join(siteDir, 'music.ogg')).equals(fs.readFileSync(track)),
          'on a fast link the page fetches music.ogg, the very track the desktop build embeds');
    check(await page.$eval('#screen', (c) => c.width === 720 && c.height === 800),
          'the canvas has 720 x 800 pixels of backing store');
    check(await page.$eval('#poster', (p) => p.complete && p.naturalWidth === 720 &&
                                               getComputedStyle(p).display !== 'none'),
          'before the start the poster (the title picture) is shown');
    check(await page.title() === 'Shade Strip', 'before the start the tab has the page\'s title');
    check(problems.length === 0, `the page loads with no console error ${problems.join('; ')}`);

    // Tab moves the focus as on any page; it does not start the show.
    await page.keyboard.press('Tab');
    await sleep(200);
    check(await page.evaluate(() => document.activeElement.id) === 'screen' &&
              await frameCount(page) === 0,
          'Tab reaches the picture and does not start the show');

    // t follows the music as the audio context plays it, which follows the
    // wall clock but for what a busy machine makes the sound output lose
    // (Firefox ESR's output to a private sound server fell up to 6 % behind
    // over these 5 s at a load average of 12; Chromium's fake output keeps time).
    await page.click('#screen');
    await waitFrames(page, 5);
    const clocks = () => page.evaluate(() => [Date.now() / 1000, Module._shadestrip_time(),
                                              Module.audio.context.currentTime]);
    const [wall0, t0, context0] = await clocks();
    await sleep(5000);
    const [wall1, t1, context1] = await clocks();
    const rate = (t1 - t0) / (context1 - context0), wallRate = (t1 - t0) / (wall1 - wall0);
    check(Math.abs(rate - 1) <= 0.05 && wallRate > 0.85 && wallRate < 1.05,
          `after a click t follows the music as played (${rate.toFixed(3)} s of t a second ` +
              `of the audio context, ${wallRate.toFixed(3)} a second of the wall clock)`);
    check(await page.title() === 'Please press alt+enter for full screen mode.',
          'the page title is the show\'s start title');

    // A click beside the picture leaves the keys with the show; ? and Escape
    // open and close the controls list without ending it.
    await page.mouse.click(3, 3);
    check(await page.evaluate(() => document.activeElement.id) === 'screen',
          'a click beside the picture keeps the focus on the show');
    await page.keyboard.press('?');
    check(await page.$eval('#help', (h) => !h.hidden && h.textContent.includes('Drag along')),
          '? opens the controls list, touch included');
    await page.keyboard.press('Escape');
    await waitFrames(page, 3);
    check(await page.$eval('#help', (h) => h.hidden) && (await promptText(page)).startsWith('Escape'),
          'Escape closes the list and the show plays on');

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
    // The page says so once it has tried to make the show ready (when the
    // visitor comes near it), and a click changes nothing.
    const failing = async (what, beforeLoad, message) => {
        const {page: p, problems: pp} = await openPage(browser, site.url, beforeLoad);
        await p.waitForFunction(() => /ready|failed/.test(document.documentElement.className),
                                {timeout: 10000}).catch(() => {});
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

// A link that Chromium's network emulation makes "Fast 3G" (which the page
// sees as navigator.connection's effective type 3g) gets the smaller track,
// which plays in step with the picture.
async function slowLinkChecks(browser, site) {
    const page = await browser.newPage();
    const problems = [];
    page.on('pageerror', (error) => problems.push(`uncaught: ${error.message}`));
    await page.setViewport({width: 900, height: 900});
    await page.emulateNetworkConditions({download: 1.6e6 * 0.9 / 8, upload: 750e3 * 0.9 / 8,
                                         latency: 150 * 3.75});
    await page.goto(site.url, {waitUntil: 'load', timeout: 60000});
    await waitForPrompt(page, 'Click or press a key', 60000);
    const tracks = await page.evaluate(() => performance.getEntriesByType('resource')
        .map((e) => e.name.replace(/.*\//, '')).filter((n) => n.endsWith('.ogg')));
    check(tracks.length === 1 && tracks[0] === 'music-small.ogg',
          `a 3G link fetches only the smaller track (${tracks.join(', ')})`);
    await page.click('#screen');
    await waitFrames(page, 5);
    await sleep(3000);
    const [t, heard] = await page.evaluate(() => [Module._shadestrip_time(), Module._shadestrip_heard()]);
    check(t > 2 && Math.abs(heard - t) < 0.25,
          `the smaller track plays in step with the picture (t ${t.toFixed(2)}, heard ${heard.toFixed(2)})`);
    check(problems.length === 0, `a 3G link: no uncaught exception ${problems.join('; ')}`);
    await page.close();
}

// A phone held upright (390 x 844 CSS pixels, 3 device pixels to one, touch),
// as Chromium emulates one: the whole picture in view, a tap pauses and
// resumes, a drag scrubs as the mouse does.
async function phoneChecks(browser, site) {
    const page = await browser.newPage();
    const problems = [];
    page.on('pageerror', (error) => problems.push(`uncaught: ${error.message}`));
    await page.setViewport({width: 390, height: 844, deviceScaleFactor: 3, isMobile: true,
                            hasTouch: true});
    await page.goto(site.url, {waitUntil: 'load'});
    await waitForPrompt(page, 'Tap the picture');
    const box = await (await page.$('#screen')).boundingBox();
    const page_ = await page.evaluate(() => [innerWidth, innerHeight,
                                            document.documentElement.scrollWidth]);
    check(box.x >= 0 && box.y >= 0 && box.x + box.width <= page_[0] &&
              box.y + box.height <= page_[1] && page_[2] <= page_[0] && box.width >= 350,
          `phone: the whole picture is in view (${box.width.toFixed(0)} x ` +
              `${box.height.toFixed(0)} at ${box.x.toFixed(0)},${box.y.toFixed(0)} in ` +
              `${page_[0]} x ${page_[1]}, page ${page_[2]} wide)`);
    check(await page.$eval('#picture', (p) => getComputedStyle(p).touchAction === 'none') &&
              await page.evaluate(() => getComputedStyle(document.body).overscrollBehaviorX === 'none'),
          'phone: no browser gesture (scroll, zoom, a swipe back) takes a touch on the picture');

    const at = (column, row) => [box.x + (column + 0.5) * box.width / 80,
                                 box.y + (row + 0.5) * box.height / 50];
    await page.touchscreen.tap(...at(40, 25));
    await page.waitForFunction(() => Module._shadestrip_time() > 0.3, {timeout: 10000}).catch(() => {});
    check(await musicTime(page) > 0.3, 'phone: a tap starts the show');

    await page.touchscreen.tap(...at(40, 25));
    await waitFrames(page, 3);
    const pausedAt = await musicTime(page);
    await sleep(400);
    check(await page.evaluate(() => Module._shadestrip_paused()) === 1 &&
              await musicTime(page) === pausedAt && (await promptText(page)).startsWith('Paused'),
          `phone: a tap pauses (at ${pausedAt.toFixed(2)} s) and the page says so`);
    await page.touchscreen.tap(...at(40, 25));
    await sleep(400);
    check(await page.evaluate(() => Module._shadestrip_paused()) === 0 &&
              await musicTime(page) > pausedAt + 0.2, 'phone: another tap resumes');

    // Down pauses at 83.0; a drag of 60 columns to the right goes back to 77.0.
    await page.keyboard.press('ArrowDown');
    await waitFrames(page, 3);
    await page.touchscreen.touchStart(...at(10, 49));
    await waitFrames(page, 1);
    for (let column = 20; column <= 70; column += 10) {
        await page.touchscreen.touchMove(...at(column, 49));
        await waitFrames(page, 1);
    }
    await page.touchscreen.touchEnd();
    await waitFrames(page, 3);
    check(await musicTime(page) === 77, `phone: a drag of 60 columns seeks to 77.0 ` +
                                        `(${(await musicTime(page)).toFixed(2)})`);
    await compareWithCapture(page, 77, 'phone: after the drag', (c, r) => r === 49 && c >= 70);

    await page.$eval('#end', (b) => b.click());
    await waitForPrompt(page, 'The end.', 5000);
    check(true, 'phone: the End button ends the show');
    await page.$eval('#helpButton', (b) => b.click());
    check(await page.$eval('#help', (h) => !h.hidden), 'phone: the ? button shows the controls');
    check(problems.length === 0, `phone: no uncaught exception ${problems.join('; ')}`);

    // Held sideways, the picture still fits whole, with the panel beside it.
    await page.setViewport({width: 844, height: 390, deviceScaleFactor: 3, isMobile: true,
                            hasTouch: true, isLandscape: true});
    await sleep(300);
    const side = await (await page.$('#screen')).boundingBox();
    check(side.x >= 0 && side.y >= 0 && side.x + side.width <= 844 && side.y + side.height <= 390 &&
              side.height >= 350,
          `phone sideways: the whole picture is in view (${side.width.toFixed(0)} x ` +
              `${side.height.toFixed(0)} at ${side.x.toFixed(0)},${side.y.toFixed(0)})`);
    await page.close();
}

// Fullscreen on F, a visitor who asks for reduced motion, and the overlay's
// frame rate on a page whose main thread is busy in bursts.
async function pageChecks(browser, site, isChromium) {
    const {page} = await openPage(browser, site.url);
    await waitForPrompt(page, 'Click or press a key');
    await page.keyboard.press('f');
    await page.waitForFunction(() => document.fullscreenElement === document.documentElement,
                               {timeout: 3000}).catch(() => {});
    check(await page.evaluate(() => document.fullscreenElement === document.documentElement) &&
              await frameCount(page) === 0,
          'F asks for fullscreen (and does not start the show)');
    await page.keyboard.press('f');
    await page.waitForFunction(() => !document.fullscreenElement, {timeout: 3000}).catch(() => {});
    check(await page.evaluate(() => !document.fullscreenElement), 'F again leaves fullscreen');
    await page.keyboard.down('Alt');
    await page.keyboard.press('Enter');
    await page.keyboard.up('Alt');
    await page.waitForFunction(() => document.fullscreenElement === document.documentElement,
                               {timeout: 3000}).catch(() => {});
    check(await page.evaluate(() => document.fullscreenElement === document.documentElement),
          'Alt+Enter asks for fullscreen');
    await page.close();

    // Emulating the media feature is Chromium's.
    if (isChromium)
        await reducedMotionChecks(browser, site);
    await frameRateChecks(browser, site);
}

async function reducedMotionChecks(browser, site) {
    const calm = await browser.newPage();
    await calm.emulateMediaFeatures([{name: 'prefers-reduced-motion', value: 'reduce'}]);
    await calm.setViewport({width: 900, height: 900});
    await calm.goto(site.url, {waitUntil: 'load'});
    await waitForPrompt(calm, 'Your system asks for reduced motion');
    await calm.click('#screen');
    await calm.keyboard.press('Enter');
    await sleep(300);
    check(await frameCount(calm) === 0, 'reduced motion: a click or a key leaves the poster standing');
    await calm.click('#play');
    await waitFrames(calm, 3);
    check(await frameCount(calm) > 0, 'reduced motion: Play starts the show');
    await calm.close();
}

async function frameRateChecks(browser, site) {
    // Short bursts of work on the main thread make animation-frame callbacks
    // start late by varying amounts. The frame times (dt) must still be whole
    // display frames, or the title's rate (a mean of 1 / dt over frames)
    // reads above the rate at which frames are drawn. Whole display frames
    // hold however busy the machine is, so this is judged, and the title is
    // only compared with the display's rate. (Firefox's frame times follow a
    // timer of its own that can itself be a little late: a few short frames
    // are allowed; frame times from when each callback ran had a quarter.)
    const busy = await browser.newPage();
    await busy.setViewport({width: 900, height: 900});
    await busy.evaluateOnNewDocument(() => {
        let n = 0;
        setInterval(() => {
            const until = performance.now() + [5, 2, 4, 1, 3][n++ % 5];
            while (performance.now() < until) {
            }
        }, 8);
    });
    await busy.goto(site.url, {waitUntil: 'load'});
    await waitForPrompt(busy, 'Click or press a key');
    const display = await busy.evaluate(() => new Promise((resolve) => {
        const stamps = [];
        const step = (time) => {
            stamps.push(time);
            if (stamps.length < 31)
                requestAnimationFrame(step);
            else
                resolve(stamps.slice(1).map((t, i) => t - stamps[i]).sort((a, b) => a - b)[15]);
        };
        requestAnimationFrame(step);
    }));
    await busy.click('#screen');
    await waitFrames(busy, 10);
    await busy.keyboard.press(' ');
    await sleep(3000);
    const dts = await busy.evaluate(() => {
        const all = [];
        for (let i = 10; i < Module._shadestrip_frames(); ++i)
            all.push(Module._shadestrip_frame_dt(i) * 1000);
        return all;
    });
    const short = dts.filter((dt) => dt < display - 1.5);
    check(dts.length > 30 && short.length <= dts.length * 0.05,
          `with a busy main thread the frame times are whole display frames of ` +
              `${display.toFixed(1)} ms or more (${dts.length} frames` +
              (short.length ? `; ${short.length} shorter, ${short.slice(0, 5).join(', ')} ms` : '') + ')');
    const title = await busy.title();
    const shown = Number((/FPS ([0-9]+\.[0-9])/.exec(title) || [])[1]);
    check(shown > 0 && shown <= 1000 / display + 1,
          `the title's frame rate (${shown}) is not above the display's (${(1000 / display).toFixed(1)})`);
    await busy.close();
}

// Pages that cannot load the show, and a page without JavaScript (Chromium:
// request interception and switching scripts off).
async function loadFailureChecks(browser, site) {
    const blocked = async (what, file, answer, message) => {
        const page = await browser.newPage();
        const problems = [];
        page.on('pageerror', (error) => problems.push(`uncaught: ${error.message}`));
        await page.setRequestInterception(true);
        page.on('request', (request) => {
            if (!request.url().endsWith(file))
                request.continue();
            else if (answer === 404)
                request.respond({status: 404, body: ''});
            else
                request.abort('blockedbyclient');
        });
        await page.goto(site.url, {waitUntil: 'load'});
        await page.waitForFunction((m) => document.getElementById('prompt').textContent.includes(m),
                                   {timeout: 10000}, message).catch(() => {});
        const text = await promptText(page);
        check(text.includes(message) && problems.length === 0,
              `${what}: "${text}"${problems.length ? ' with ' + problems.join('; ') : ''}`);
        await page.close();
    };
    await blocked('a missing .wasm', '.wasm', 404, 'shadestrip.wasm answered HTTP 404 (not found)');
    await blocked('a blocked .wasm', '.wasm', 'abort', 'shadestrip.wasm could not be fetched');
    await blocked('a missing track', '/music.ogg', 404, 'music.ogg answered HTTP 404 (not found)');
    await blocked('a blocked track', '/music.ogg', 'abort', 'music.ogg could not be fetched');

    const fromDisk = await browser.newPage();
    await fromDisk.goto(`file://${siteDir}/index.html`, {waitUntil: 'load'});
    const diskText = await promptText(fromDisk);
    check(diskText.includes('opened from a file') && diskText.includes('make web-serve'),
          `index.html opened from disk: "${diskText}"`);
    await fromDisk.close();

    const noScript = await browser.newPage();
    await noScript.setJavaScriptEnabled(false);
    await noScript.goto(site.url, {waitUntil: 'load'});
    const shown = await noScript.evaluate(() => document.body.innerText);
    check(shown.includes('The show needs JavaScript') && !shown.includes('Loading') &&
              await noScript.$eval('#poster', (p) => p.complete && p.naturalWidth === 720),
          'without JavaScript: the poster and only the message that the show needs it');
    await noScript.close();
}

const site = await serveSite(siteDir);
try {
    for (const [name, launch] of [['Chromium', launchChromium], ['Firefox ESR', launchFirefox]].filter((b) => !process.env.ONLY || b[0] === process.env.ONLY)) {
        const browser = await launch();
        if (!browser) {
            console.log(`skip: ${name} (not installed, or no sound server for it)`);
            continue;
        }
        browserName = name;
        try {
            await showChecks(browser, site);
            await pageChecks(browser, site, name === 'Chromium');
            // Touch emulation, request interception and pages without
            // scripts are Chromium's (over its DevTools protocol).
            if (name === 'Chromium') {
                await phoneChecks(browser, site);
                await slowLinkChecks(browser, site);
                await loadFailureChecks(browser, site);
            }
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
