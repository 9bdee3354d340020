// The site's icon, drawn from its poster (the capture tool's picture of the
// title): a square around the first letter, averaged down to SIZE pixels.
//   node make_icon.mjs POSTER.png ICON.png
import {readPng, writePng} from './png.mjs';

const [posterFile, iconFile] = process.argv.slice(2);
if (!posterFile || !iconFile) {
    console.error('usage: node make_icon.mjs POSTER.png ICON.png');
    process.exit(2);
}
const size = 64;
// The first letter of the title at 8 s: pixels 8 to 160 across, 120 to 440 down.
const letter = {x: 8, y: 120, width: 152, height: 320};
const side = Math.max(letter.width, letter.height);
const left = letter.x - (side - letter.width) / 2, top = letter.y - (side - letter.height) / 2;

const poster = readPng(posterFile);
const icon = Buffer.alloc(size * size * 3);
const step = side / size;
// Each icon pixel is the mean of its square of poster pixels; beside the
// letter counts as black, as the show's background is.
for (let y = 0; y < size; ++y) {
    for (let x = 0; x < size; ++x) {
        const sum = [0, 0, 0];
        for (let sy = Math.floor(top + y * step); sy < top + (y + 1) * step; ++sy) {
            for (let sx = Math.floor(left + x * step); sx < left + (x + 1) * step; ++sx) {
                if (sx < letter.x || sx >= letter.x + letter.width || sy < letter.y ||
                    sy >= letter.y + letter.height)
                    continue;
                for (let c = 0; c < 3; ++c)
                    sum[c] += poster.rgb[(sy * poster.width + sx) * 3 + c];
            }
        }
        for (let c = 0; c < 3; ++c)
            icon[(y * size + x) * 3 + c] = Math.round(sum[c] / (step * step));
    }
}
writePng(iconFile, {width: size, height: size, rgb: icon});
