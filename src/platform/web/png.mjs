// Reads the capture tool's PNG files (8-bit RGB or RGBA, not interlaced, what
// stb_image_write writes) as {width, height, rgb} with 3 bytes a pixel, and
// writes such a picture as an 8-bit RGB PNG. For the site's build and its tests.
import fs from 'node:fs';
import zlib from 'node:zlib';

export function readPng(path) {
    const file = fs.readFileSync(path);
    if (file.readUInt32BE(0) !== 0x89504e47)
        throw new Error(`${path}: not a PNG`);
    let width = 0, height = 0, channels = 0;
    const data = [];
    for (let at = 8; at < file.length;) {
        const length = file.readUInt32BE(at);
        const type = file.toString('latin1', at + 4, at + 8);
        const body = file.subarray(at + 8, at + 8 + length);
        if (type === 'IHDR') {
            width = body.readUInt32BE(0);
            height = body.readUInt32BE(4);
            const depth = body[8], colour = body[9], interlace = body[12];
            channels = colour === 2 ? 3 : colour === 6 ? 4 : 0;
            if (depth !== 8 || !channels || interlace !== 0)
                throw new Error(`${path}: only 8-bit RGB or RGBA without interlacing is read`);
        } else if (type === 'IDAT') {
            data.push(body);
        }
        at += 12 + length;
    }
    const raw = zlib.inflateSync(Buffer.concat(data));
    const stride = width * channels;
    const pixels = Buffer.alloc(stride * height);
    // Undo each row's filter (none, sub, up, average, Paeth).
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const row = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
        const out = pixels.subarray(y * stride, (y + 1) * stride);
        const up = y > 0 ? pixels.subarray((y - 1) * stride, y * stride) : Buffer.alloc(stride);
        for (let x = 0; x < stride; ++x) {
            const a = x >= channels ? out[x - channels] : 0;
            const b = up[x];
            const c = x >= channels ? up[x - channels] : 0;
            let predictor = 0;
            if (filter === 1)
                predictor = a;
            else if (filter === 2)
                predictor = b;
            else if (filter === 3)
                predictor = (a + b) >> 1;
            else if (filter === 4) {
                const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
                predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            out[x] = (row[x] + predictor) & 255;
        }
    }
    if (channels === 3)
        return {width, height, rgb: pixels};
    const rgb = Buffer.alloc(width * height * 3);
    for (let i = 0, j = 0; i < pixels.length; i += 4, j += 3)
        pixels.copy(rgb, j, i, i + 3);
    return {width, height, rgb};
}

// CRC-32 of PNG chunks (the polynomial 0xEDB88320), by the bit: the pictures are small.
function crc32(bytes) {
    let crc = 0xffffffff;
    for (const byte of bytes) {
        crc ^= byte;
        for (let k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >>> 1) ^ 0xedb88320 : crc >>> 1;
    }
    return (crc ^ 0xffffffff) >>> 0;
}

export function writePng(path, {width, height, rgb}) {
    const chunk = (type, body) => {
        const head = Buffer.alloc(8);
        head.writeUInt32BE(body.length, 0);
        head.write(type, 4, 'latin1');
        const crc = Buffer.alloc(4);
        crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), body])), 0);
        return Buffer.concat([head, body, crc]);
    };
    const header = Buffer.alloc(13);
    header.writeUInt32BE(width, 0);
    header.writeUInt32BE(height, 4);
    header[8] = 8; // bits per channel
    header[9] = 2; // RGB
    // Each row with filter 0 (none) in front.
    const raw = Buffer.alloc((width * 3 + 1) * height);
    for (let y = 0; y < height; ++y)
        rgb.copy(raw, y * (width * 3 + 1) + 1, y * width * 3, (y + 1) * width * 3);
    fs.writeFileSync(path, Buffer.concat([
        Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
        chunk('IDAT', zlib.deflateSync(raw, {level: 9})), chunk('IEND', Buffer.alloc(0)),
    ]));
}
