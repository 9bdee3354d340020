// What the browser tests and the benchmark share: a static server for the
// built site, the system's Chromium, and helpers that read the page's state
// and the canvas's pixels.
import puppeteer from 'puppeteer-core';
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import {execFileSync} from 'node:child_process';
import {readPng} from '../../src/platform/web/png.mjs';

const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
               '.png': 'image/png', '.ogg': 'audio/ogg'};

// Serves `root` on a free port of 127.0.0.1; counts the bytes of each response.
export async function serveSite(root) {
    const sent = {};
    const server = http.createServer((request, response) => {
        let name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
        if (name === '/')
            name = '/index.html';
        const file = path.join(root, path.normalize(name));
        if (!file.startsWith(root) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
            response.writeHead(404);
            response.end();
            return;
        }
        const body = fs.readFileSync(file);
        sent[name] = (sent[name] || 0) + body.length;
        response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                                 'Content-Length': body.length, 'Cache-Control': 'no-store'});
        response.end(body);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return {url: `http://127.0.0.1:${server.address().port}/`, sent, close: () => server.close()};
}

// Chromium's own fake audio output runs in real time; a sound server in the
// environment is left to Firefox.
export async function launchChromium() {
    const env = {...process.env};
    delete env.PULSE_SERVER;
    return puppeteer.launch({
        env,
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--mute-audio'],
    });
}

// Debian's Firefox ESR, driven over WebDriver BiDi. Its audio plays only to a
// sound server (FIREFOX_PULSE_SERVER, a private PulseAudio that test-web
// starts); null when either is missing.
export const firefoxPath = process.env.FIREFOX || '/usr/bin/firefox-esr';
export async function launchFirefox() {
    if (!fs.existsSync(firefoxPath) || !process.env.FIREFOX_PULSE_SERVER)
        return null;
    return puppeteer.launch({
        env: {...process.env, PULSE_SERVER: process.env.FIREFOX_PULSE_SERVER},
        browser: 'firefox',
        executablePath: firefoxPath,
        headless: true,
        extraPrefsFirefox: {'media.autoplay.default': 0, 'media.autoplay.blocking_policy': 0},
    });
}

// A page of the site at 900 x 900 that records console errors and uncaught exceptions.
export async function openPage(browser, url, beforeLoad) {
    const page = await browser.newPage();
    const problems = [];
    page.on('console', (message) => {
        if (message.type() === 'error')
            problems.push(`console: ${message.text()}`);
    });
    page.on('pageerror', (error) => problems.push(`uncaught: ${error.message}`));
    await page.setViewport({width: 900, height: 900});
    if (beforeLoad)
        await page.evaluateOnNewDocument(beforeLoad);
    await page.goto(url, {waitUntil: 'load'});
    return {page, problems};
}

export const promptText = (page) => page.$eval('#prompt', (p) => p.textContent);

export async function waitForPrompt(page, start, timeout = 20000) {
    await page.waitForFunction((s) => document.getElementById('prompt').textContent.startsWith(s),
                               {timeout}, start);
}

export const musicTime = (page) => page.evaluate(() => Module._shadestrip_time());
export const frameCount = (page) => page.evaluate(() => Module._shadestrip_frames());

// Waits until `frames` more frames have been presented.
export async function waitFrames(page, frames) {
    const start = await frameCount(page);
    await page.waitForFunction((n) => Module._shadestrip_frames() >= n, {timeout: 20000},
                               start + frames);
}

// The canvas's pixels as RGB, 3 bytes a pixel.
export async function canvasRgb(page) {
    const base64 = await page.evaluate(() => {
        const canvas = document.getElementById('screen');
        const copy = document.createElement('canvas');
        copy.width = canvas.width;
        copy.height = canvas.height;
        const context = copy.getContext('2d');
        context.drawImage(canvas, 0, 0);
        const rgba = context.getImageData(0, 0, copy.width, copy.height).data;
        const rgb = new Uint8Array(copy.width * copy.height * 3);
        for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
            rgb[j] = rgba[i];
            rgb[j + 1] = rgba[i + 1];
            rgb[j + 2] = rgba[i + 2];
        }
        let text = '';
        for (let i = 0; i < rgb.length; i += 0x8000)
            text += String.fromCharCode.apply(null, rgb.subarray(i, i + 0x8000));
        return [copy.width, copy.height, btoa(text)];
    });
    return {width: base64[0], height: base64[1], rgb: Buffer.from(base64[2], 'base64')};
}

// The capture tool's PNG of the show at `seconds`.
export function capturePng(capture, seconds, scratch) {
    const file = path.join(scratch, `capture-${seconds.toFixed(2)}.png`);
    if (!fs.existsSync(file))
        execFileSync(capture, ['--at', seconds.toFixed(2), '--format', 'png', '--out', file],
                     {stdio: 'pipe'});
    return readPng(file);
}

// Cells (column, row) whose 9 x 16 pixels differ between two pictures of 80 x 50 cells.
export function differingCells(a, b) {
    const cells = [];
    if (a.width !== b.width || a.height !== b.height)
        return null;
    for (let row = 0; row < 50; ++row) {
        for (let column = 0; column < 80; ++column) {
            let same = true;
            for (let y = row * 16; same && y < row * 16 + 16; ++y) {
                const at = (y * a.width + column * 9) * 3;
                same = a.rgb.compare(b.rgb, at, at + 27, at, at + 27) === 0;
            }
            if (!same)
                cells.push([column, row]);
        }
    }
    return cells;
}
