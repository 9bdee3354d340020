// The page around the show, loaded before the module: the picture's size on
// any screen, the loading of the module with its progress and its failures,
// start and play-again, keys, mouse and touch for the show, fullscreen, the
// controls list and the messages. Not the show: that is the module
// (shadestrip.js and .wasm), which calls back through Module.
//
// Index: state and messages - picture size - loading - start and end -
// keys - mouse - touch - buttons, fullscreen and the controls list.
'use strict';
var Module = window.Module || {};
// One block, not a function: its names stay the page's own, out of the
// global scope the module's script shares.
{
    const root = document.documentElement;
    const stage = document.getElementById('stage');
    const picture = document.getElementById('picture');
    const canvas = document.getElementById('screen');
    const panel = document.getElementById('panel');
    const prompt = document.getElementById('prompt');
    const note = document.getElementById('note');
    const buttons = {
        play: document.getElementById('play'),
        end: document.getElementById('end'),
        fullscreen: document.getElementById('fullscreen'),
        help: document.getElementById('helpButton'),
        helpClose: document.getElementById('helpClose'),
    };
    const help = document.getElementById('help');
    const pageTitle = document.title;
    // The virtual-key codes the show knows by name.
    const keyEscape = 27, keySpace = 32;

    // --- State and messages ---
    // loading, ready, playing, ended, failed
    let state = 'loading';
    // A touch screen is assumed from the first touch, or from a coarse pointer.
    let touchMode = window.matchMedia && matchMedia('(pointer: coarse)').matches;
    // A visitor who asks for less motion gets the title picture until Play.
    let motionHold = !!(window.matchMedia && matchMedia('(prefers-reduced-motion: reduce)').matches);
    // The show's own title, shown only while it plays.
    let showTitle = pageTitle;
    // Whether this show's mouse input was switched on for touch.
    let touchMouseOn = false;
    Module.clickedAt = 0;

    function say(text, isError) {
        prompt.textContent = text;
        prompt.className = isError ? 'error' : '';
    }
    function setState(next) {
        state = next;
        for (const s of ['loading', 'ready', 'playing', 'ended', 'failed'])
            root.classList.toggle(s, s === next);
        // One of Play and End in the same place, so that the panel keeps its size.
        buttons.play.hidden = next === 'playing';
        buttons.play.disabled = next !== 'ready' && next !== 'ended';
        buttons.end.hidden = next !== 'playing';
        document.title = next === 'playing' ? showTitle : pageTitle;
        sayState();
    }
    function sayState() {
        if (state === 'ready' && motionHold)
            say('Your system asks for reduced motion: the show, all movement and some flashes, ' +
                'waits on its title picture. Press Play to start it.');
        else if (state === 'ready')
            say(touchMode ? 'Tap the picture to start the show (with sound).'
                          : 'Click or press a key to start the show (with sound).');
        else if (state === 'ended')
            say(touchMode ? 'The end. Tap the picture to play again.'
                          : 'The end. Click or press a key to play again.');
        else if (state === 'playing' && touchMode && Module._shadestrip_paused() === 1)
            say('Paused. Tap to resume; drag along the picture to scrub.');
        else if (state === 'playing')
            say(touchMode ? 'Tap: pause or resume. Drag along the picture: scrub.'
                          : 'Escape ends the show. ? lists the controls.');
    }
    function fail(text) {
        setState('failed');
        say(text, true);
    }

    Module.showError = function(message, detail) {
        fail(detail ? message + ' (' + detail + ')' : message);
    };
    Module.showEnded = function() {
        setState('ended');
    };
    Module.setShowTitle = function(text) {
        showTitle = text;
        if (state === 'playing')
            document.title = text;
    };
    Module.onAbort = function() {
        if (state !== 'failed')
            fail('Demo error. The show stopped unexpectedly.');
    };

    // --- Picture size ---
    // The whole picture in view with the panel below it or, where that leaves
    // a larger picture (a phone held sideways, a wide laptop), beside it.
    // Whole multiples of the picture's pixels where they fit; below that, a
    // picture that keeps at least one device pixel for each of its pixels is
    // still drawn by nearest neighbour (no shade pattern is lost), and only a
    // smaller one is smoothed.
    let scale = 1;
    function fit() {
        const width = window.innerWidth, height = window.innerHeight, room = 16, gap = 8;
        stage.classList.remove('side');
        const below = Math.min((width - room) / 720, (height - room - gap - panel.offsetHeight) / 800);
        stage.classList.add('side');
        const beside = Math.min((width - room - gap - panel.offsetWidth) / 720, (height - room) / 800);
        const side = beside > below * 1.05;
        stage.classList.toggle('side', side);
        const ratio = window.devicePixelRatio || 1;
        scale = Math.max(0.05, side ? beside : below);
        if (scale >= 1)
            scale = Math.floor(scale);
        const crisp = scale * ratio >= 1;
        root.classList.toggle('crisp', crisp);
        // Whole device pixels, so that the edges of the pixels stay put.
        picture.style.width = Math.floor(720 * scale * ratio) / ratio + 'px';
        picture.style.height = Math.floor(800 * scale * ratio) / ratio + 'px';
        stage.classList.add('fitted');
        const percent = Math.round(scale * 100) + ' %';
        if (scale < 1 && fullscreenAvailable() && !fullscreenElement() &&
            screen.height > window.innerHeight)
            note.textContent = 'The picture is at ' + percent + ' of its size: fullscreen (F) ' +
                               'makes it larger.';
        else if (!crisp)
            note.textContent = 'The picture is at ' + percent + ' of its size, so its finest ' +
                               'shades are blended.';
        else
            note.textContent = '';
    }
    window.addEventListener('resize', fit);

    // --- Loading ---
    // The module's WebAssembly and the music are fetched here, side by side,
    // to count their bytes as they come and to say clearly why either could
    // not load. A slow link (the browser says so, or the visitor asks to save
    // data) gets the smaller encoding of the track; ?track=small or
    // ?track=full in the address chooses either.
    const kilobytes = (n) => Math.round(n / 1024).toLocaleString('en') + ' KB';
    function loadFailure(text) {
        if (state !== 'failed')
            fail('The show could not be loaded: ' + text);
    }
    function slowLink() {
        const asked = /[?&]track=(small|full)\b/.exec(location.search);
        if (asked)
            return asked[1] === 'small';
        const link = navigator.connection;
        return !!link && (!!link.saveData || ['slow-2g', '2g', '3g'].includes(link.effectiveType));
    }
    Module.musicFile = slowLink() ? 'music-small.ogg' : 'music.ogg';
    // Bytes arrived and expected of each file; a total only once every
    // answer has told its length (a compressed answer's length is not the
    // bytes that arrive here).
    const progress = {};
    function sayProgress() {
        if (state !== 'loading')
            return;
        const files = Object.values(progress);
        const loaded = files.reduce((sum, f) => sum + f.loaded, 0);
        const total = files.length === 2 && files.every((f) => f.total)
                          ? files.reduce((sum, f) => sum + f.total, 0) : 0;
        say('Loading the show: ' + kilobytes(loaded) + (total ? ' of ' + kilobytes(total) : '') +
            '...');
    }
    // The answer's body, counted, or an error that says what went wrong.
    function fetchCounted(name) {
        return fetch(name, {credentials: 'same-origin'})
            .catch(function() {
                throw new Error(name + ' could not be fetched (the network failed, or ' +
                                'something on the way blocked it).');
            })
            .then(function(response) {
                if (!response.ok)
                    throw new Error(name + ' answered HTTP ' + response.status +
                                    (response.status === 404 ? ' (not found).' : '.'));
                const file = progress[name] = {loaded: 0, total: 0};
                if (!response.headers.get('Content-Encoding'))
                    file.total = Number(response.headers.get('Content-Length')) || 0;
                const counted = new TransformStream({
                    transform(chunk, controller) {
                        file.loaded += chunk.byteLength;
                        sayProgress();
                        controller.enqueue(chunk);
                    },
                });
                return response.body.pipeThrough(counted);
            });
    }
    // The track's bytes; the show is made ready only once they are all here,
    // so that its music can play from the start.
    let loadMusic = null;
    const music = new Promise((resolve) => (loadMusic = resolve)).then(function() {
        const name = Module.musicFile;
        return fetchCounted(name).then(function(body) {
            return new Response(body).arrayBuffer().catch(function() {
                throw new Error(name + ' stopped arriving (the network failed).');
            });
        });
    });
    music.catch(function(error) {
        loadFailure(error.message);
    });
    // The module and the track are asked for once the poster (the page's
    // largest picture) has been painted: the visitor sees the title picture
    // first, and their 2.1 MB never share the link with it. The sign is the
    // browser's report of that paint where it reports largest paints, else
    // the page's load and two animation frames (a second animation frame
    // begins only after the first one's picture was drawn); at once in a tab
    // out of sight, which paints nothing; at the latest after 5 s.
    function afterPoster(then) {
        let done = false;
        let observer = null;
        const go = function() {
            if (done)
                return;
            done = true;
            if (observer)
                observer.disconnect();
            then();
        };
        if (document.hidden) {
            go();
            return;
        }
        // Paints after the visitor's first input are not reported: a visitor
        // who is there already gets the show's files at once, as does a
        // page whose poster failed.
        for (const name of ['visibilitychange', 'pointerdown', 'keydown'])
            document.addEventListener(name, go, {once: true});
        const poster = document.getElementById('poster');
        poster.addEventListener('error', go, {once: true});
        setTimeout(go, 5000);
        const types = (window.PerformanceObserver && PerformanceObserver.supportedEntryTypes) || [];
        if (types.includes('largest-contentful-paint')) {
            observer = new PerformanceObserver(function(list) {
                if (list.getEntries().some((entry) => entry.element === poster))
                    go();
            });
            observer.observe({type: 'largest-contentful-paint', buffered: true});
            return;
        }
        const soon = () => requestAnimationFrame(() => requestAnimationFrame(go));
        if (document.readyState === 'complete')
            soon();
        else
            window.addEventListener('load', soon, {once: true});
    }
    Module.instantiateWasm = function(imports, receive) {
        fetchCounted('shadestrip.wasm')
            .then(function(body) {
                return WebAssembly.instantiateStreaming(
                    new Response(body, {headers: {'Content-Type': 'application/wasm'}}), imports)
                    .catch(function(error) {
                        throw new Error('this browser refused to run its WebAssembly (' +
                                        error.message + ').');
                    });
            })
            .then(function(result) {
                if (state === 'failed')
                    return;
                say('Getting the show ready...');
                receive(result.instance, result.module);
            })
            .catch(function(error) {
                loadFailure(error.message);
            });
        return {};
    };

    Module.onRuntimeInitialized = function() {
        music.then(function(bytes) {
            if (state === 'failed')
                return;
            Module.music = bytes;
            showReady();
        }, function() {});
    };
    function showReady() {
        // Tests remove resources here to see a failed start-up.
        (Module.dropResources || []).forEach(function(id) {
            Module._shadestrip_drop_resource(id);
        });
        setState('ready');
        fit();
        // The show starts up (some tens of milliseconds of work) once the
        // visitor comes near it, so that a click only has to let it go and
        // the page's own loading is not held up by it.
        const events = ['pointermove', 'pointerdown', 'touchstart', 'keydown', 'focusin'];
        const prepare = function() {
            events.forEach((name) => document.removeEventListener(name, prepare, true));
            if (state === 'ready')
                Module._shadestrip_prepare();
        };
        events.forEach((name) => document.addEventListener(name, prepare, true));
        // The music is queued a little ahead; a timer keeps it going while the
        // page's animation frames are throttled.
        setInterval(function() {
            Module._shadestrip_feed();
        }, 50);
    }

    function load() {
        if (location.protocol === 'file:') {
            fail('This page was opened from a file, and browsers do not let such a page load ' +
                 'the show. Serve its folder instead (make web-serve) and open ' +
                 'http://localhost:8000/.');
            return;
        }
        if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiateStreaming !== 'function' ||
            typeof TransformStream !== 'function') {
            fail('This browser cannot run WebAssembly, which the show needs.');
            return;
        }
        say('Loading the show...');
        afterPoster(function() {
            loadMusic();
            const script = document.createElement('script');
            script.src = 'shadestrip.js';
            script.onerror = function() {
                loadFailure('shadestrip.js could not be fetched.');
            };
            document.body.appendChild(script);
        });
    }

    // --- Start and end ---
    function focusShow() {
        if (document.activeElement !== canvas)
            canvas.focus({preventScroll: true});
    }
    const canStart = () => state === 'ready' || state === 'ended';
    function play(event) {
        if (!canStart())
            return;
        motionHold = false;
        touchMouseOn = false;
        Module.clickedAt = event.timeStamp;
        forwarded.clear();
        setState('playing');
        focusShow();
        Module._shadestrip_play();
    }
    function sendKey(code, down) {
        Module._shadestrip_key(code, down ? 1 : 0);
    }

    // --- Keys: virtual-key codes, on the way down and on the way up ---
    // Keys the page keeps: the controls list, fullscreen, and Tab, which moves
    // the focus as everywhere. Only keys whose press reached the show send
    // their release, so that the key that started the show acts only once.
    const forwarded = new Set();
    const plainKey = (e) => !e.ctrlKey && !e.metaKey && !e.altKey;
    function pageKey(event) {
        if (event.key === '?' || event.key === 'F1') {
            showHelp(true);
            return true;
        }
        if ((plainKey(event) && (event.key === 'f' || event.key === 'F')) ||
            (event.altKey && event.key === 'Enter')) {
            if (!event.repeat)
                toggleFullscreen();
            return true;
        }
        return false;
    }
    document.addEventListener('keydown', function(event) {
        if (event.key === 'Tab')
            root.classList.add('keyboard');
        if (!help.hidden) {
            if (event.key === 'Escape' || event.key === '?' || event.key === 'F1' ||
                event.key === 'Tab') {
                event.preventDefault();
                if (event.key !== 'Tab')
                    showHelp(false);
            }
            return;
        }
        if (event.key === 'Tab' || ['Shift', 'Control', 'Alt', 'Meta'].includes(event.key))
            return;
        const onButton = document.activeElement && document.activeElement.tagName === 'BUTTON';
        if (onButton && (event.key === 'Enter' || event.key === ' '))
            return;
        if (pageKey(event)) {
            event.preventDefault();
            return;
        }
        if (canStart()) {
            if (!event.repeat && event.key !== 'Escape' && plainKey(event) && !motionHold) {
                event.preventDefault();
                play(event);
            }
            return;
        }
        if (state === 'playing') {
            event.preventDefault();
            forwarded.add(event.keyCode);
            sendKey(event.keyCode, true);
        }
    });
    document.addEventListener('keyup', function(event) {
        if (state === 'playing' && forwarded.delete(event.keyCode)) {
            event.preventDefault();
            sendKey(event.keyCode, false);
        }
    });

    // --- Mouse: cells of the picture whatever its CSS size ---
    let held = 0;
    // A second press of the same button on the same cell within half a second
    // of a first that did not drag away is a double click, timed here: browsers
    // count clicks differently (and some not at all for the right button).
    let lastPress = {buttons: 0, column: -1, row: -1, time: -1e9};
    function doubleClick(event, pressed) {
        const cell = cellOf(event);
        const isDouble = pressed === lastPress.buttons && cell[0] === lastPress.column &&
                         cell[1] === lastPress.row && event.timeStamp - lastPress.time < 500;
        lastPress = isDouble ? {buttons: 0, column: -1, row: -1, time: -1e9}
                             : {buttons: pressed, column: cell[0], row: cell[1],
                                time: event.timeStamp};
        return isDouble;
    }
    function cellOf(point) {
        const box = canvas.getBoundingClientRect();
        const column = Math.floor((point.clientX - box.left) * 80 / box.width);
        const row = Math.floor((point.clientY - box.top) * 50 / box.height);
        return [Math.min(79, Math.max(0, column)), Math.min(49, Math.max(0, row))];
    }
    // buttons: left 1, right 2; flags: moved 1, double click 2.
    function sendMouse(cell, pressed, flags) {
        Module._shadestrip_mouse(cell[0], cell[1], pressed, flags);
    }
    canvas.addEventListener('mousedown', function(event) {
        event.preventDefault();
        focusShow();
        if (state !== 'playing') {
            if (!motionHold)
                play(event);
            return;
        }
        held = event.buttons & 3;
        sendMouse(cellOf(event), held, doubleClick(event, 1 << event.button) ? 2 : 0);
    });
    // Moves and releases count anywhere while a button is held on the picture.
    window.addEventListener('mousemove', function(event) {
        if (state !== 'playing')
            return;
        const cell = cellOf(event);
        if (held && (cell[0] !== lastPress.column || cell[1] !== lastPress.row))
            lastPress.buttons = 0;
        if (event.target === canvas || held)
            sendMouse(cell, event.buttons & 3, 1);
    });
    window.addEventListener('mouseup', function(event) {
        if (state !== 'playing' || (!held && event.target !== canvas))
            return;
        held = event.buttons & 3;
        sendMouse(cellOf(event), held, 0);
    });
    // A press anywhere else on the page keeps the keys with the show (and
    // starts it while it waits); the buttons and the controls list act as such.
    document.addEventListener('mousedown', function(event) {
        root.classList.remove('keyboard');
        if (event.target === canvas || help.contains(event.target))
            return;
        event.preventDefault();
        if (event.target.closest('button'))
            return;
        focusShow();
        if (canStart() && !motionHold)
            play(event);
    });
    canvas.addEventListener('contextmenu', function(event) {
        event.preventDefault();
    });
    canvas.addEventListener('wheel', function(event) {
        event.preventDefault();
    }, {passive: false});

    // --- Touch: one finger on the picture acts as the left mouse button ---
    // A touch pauses where it lands and a drag scrubs, as the mouse does; a
    // tap on a paused show resumes it, as a double click does. The first touch
    // switches the mouse on, as Space does. Nothing of it reaches the
    // browser, which would otherwise scroll, zoom or go back a page.
    let touch = null; // {id, cell, moved, wasPaused}
    const findTouch = (list) => Array.prototype.find.call(list, (t) => t.identifier === touch.id);
    canvas.addEventListener('touchstart', function(event) {
        event.preventDefault();
        root.classList.remove('keyboard');
        if (!touchMode) {
            touchMode = true;
            sayState();
        }
        if (touch)
            return;
        const point = event.changedTouches[0];
        touch = {id: point.identifier, cell: cellOf(point), moved: false, wasPaused: false};
        if (state !== 'playing')
            return;
        if (!touchMouseOn) {
            touchMouseOn = true;
            sendKey(keySpace, true);
            sendKey(keySpace, false);
        }
        touch.wasPaused = Module._shadestrip_paused() !== 0;
        sendMouse(touch.cell, 1, 0);
    }, {passive: false});
    canvas.addEventListener('touchmove', function(event) {
        event.preventDefault();
        const point = touch && findTouch(event.changedTouches);
        if (!point || state !== 'playing')
            return;
        const cell = cellOf(point);
        if (cell[0] === touch.cell[0] && cell[1] === touch.cell[1])
            return;
        touch.cell = cell;
        touch.moved = true;
        sendMouse(cell, 1, 1);
    }, {passive: false});
    function touchEnded(event) {
        event.preventDefault();
        const point = touch && findTouch(event.changedTouches);
        if (!point)
            return;
        const ended = touch;
        touch = null;
        if (canStart() && event.type === 'touchend') {
            // A touch's end lets the sound go; its start does not.
            if (!motionHold)
                play(event);
            return;
        }
        if (state !== 'playing')
            return;
        sendMouse(ended.cell, 0, 0);
        if (!ended.moved && ended.wasPaused && event.type === 'touchend') {
            sendMouse(ended.cell, 1, 2);
            sendMouse(ended.cell, 0, 0);
        }
        // The show takes the records in its next frame; the message follows.
        requestAnimationFrame(() => requestAnimationFrame(sayState));
    }
    canvas.addEventListener('touchend', touchEnded, {passive: false});
    canvas.addEventListener('touchcancel', touchEnded, {passive: false});

    // --- Buttons, fullscreen and the controls list ---
    const fullscreenElement = () => document.fullscreenElement || document.webkitFullscreenElement;
    function fullscreenAvailable() {
        return !!(document.fullscreenEnabled || document.webkitFullscreenEnabled);
    }
    function toggleFullscreen() {
        if (fullscreenElement()) {
            (document.exitFullscreen || document.webkitExitFullscreen).call(document);
            return;
        }
        const request = root.requestFullscreen || root.webkitRequestFullscreen;
        if (!request)
            return;
        const asked = request.call(root, {navigationUI: 'hide'});
        if (asked && asked.catch)
            asked.catch(function() {
                note.textContent = 'The browser did not allow fullscreen here.';
            });
    }
    buttons.fullscreen.hidden = !fullscreenAvailable();
    document.addEventListener('fullscreenchange', fit);

    function showHelp(open) {
        help.hidden = !open;
        if (open)
            buttons.helpClose.focus();
        else
            focusShow();
    }
    buttons.help.addEventListener('click', () => showHelp(true));
    buttons.helpClose.addEventListener('click', () => showHelp(false));
    help.addEventListener('click', function(event) {
        if (event.target === help)
            showHelp(false);
    });
    buttons.play.addEventListener('click', play);
    buttons.end.addEventListener('click', function() {
        if (state === 'playing')
            sendKey(keyEscape, true);
        focusShow();
    });
    buttons.fullscreen.addEventListener('click', function() {
        toggleFullscreen();
        focusShow();
    });

    setState('loading');
    fit();
    load();
}
