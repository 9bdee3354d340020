// The page around the show: the prompt, start and play-again on a click or a
// key, keyboard and mouse input for the canvas, the picture's CSS size and the
// messages. Appended to the module's JavaScript at link time.
(function() {
    var canvas = document.getElementById('screen');
    var prompt = document.getElementById('prompt');
    var state = 'loading'; // loading, ready, playing, ended, failed
    var shown = false;
    Module.clickedAt = 0;

    function say(text, isError) {
        prompt.textContent = text;
        prompt.className = isError ? 'error' : '';
    }

    Module.showError = function(message, detail) {
        state = 'failed';
        say(detail ? message + ' (' + detail + ')' : message, true);
    };
    Module.showEnded = function() {
        state = 'ended';
        say('The end. Click or press a key to play again.');
    };
    Module.onAbort = function() {
        state = 'failed';
        say('Demo error. The show stopped unexpectedly.', true);
    };

    // Crisp scaling with the aspect kept: whole multiples where the window
    // allows, otherwise the largest size that fits.
    function fit() {
        var room = Math.max(1, window.innerHeight - prompt.offsetHeight - 16);
        var scale = Math.min(window.innerWidth / 720, room / 800);
        if (scale >= 1)
            scale = Math.floor(scale);
        canvas.style.width = Math.floor(720 * scale) + 'px';
        canvas.style.height = Math.floor(800 * scale) + 'px';
    }
    window.addEventListener('resize', fit);
    fit();

    function play(event) {
        if (state !== 'ready' && state !== 'ended')
            return;
        Module.clickedAt = event.timeStamp;
        state = 'playing';
        say('Escape ends the show. Space shows the time and the mouse read-outs.');
        canvas.focus();
        Module._shadestrip_play();
    }

    Module.onRuntimeInitialized = function() {
        // Tests remove resources here to see a failed start-up.
        (Module.dropResources || []).forEach(function(id) {
            Module._shadestrip_drop_resource(id);
        });
        // The show starts up now, so that a click only has to let it go.
        if (Module._shadestrip_prepare() !== 0)
            return;
        state = 'ready';
        say('Click or press a key to start the show (with sound).');
        // The music is queued a little ahead; a timer keeps it going while the
        // page's animation frames are throttled.
        setInterval(function() {
            Module._shadestrip_feed();
        }, 50);
    };

    // --- Keys: virtual-key codes, on the way down and on the way up ---
    document.addEventListener('keydown', function(event) {
        if (state === 'ready' || state === 'ended') {
            if (!event.repeat && event.key !== 'Escape' && !event.ctrlKey && !event.metaKey &&
                !event.altKey) {
                event.preventDefault();
                play(event);
            }
            return;
        }
        if (state === 'playing' && document.activeElement === canvas) {
            event.preventDefault();
            Module._shadestrip_key(event.keyCode, 1);
        }
    });
    document.addEventListener('keyup', function(event) {
        if (state === 'playing' && document.activeElement === canvas) {
            event.preventDefault();
            Module._shadestrip_key(event.keyCode, 0);
        }
    });

    // --- Mouse: cells of the picture whatever its CSS size ---
    var held = 0;
    // A second press of the same button on the same cell within half a second
    // of a first that did not drag away is a double click, timed here: browsers
    // count clicks differently (and some not at all for the right button).
    var lastPress = {buttons: 0, column: -1, row: -1, time: -1e9};
    function doubleClick(event, buttons) {
        var cell = cellOf(event);
        var isDouble = buttons === lastPress.buttons && cell[0] === lastPress.column &&
                       cell[1] === lastPress.row && event.timeStamp - lastPress.time < 500;
        lastPress = isDouble ? {buttons: 0, column: -1, row: -1, time: -1e9}
                             : {buttons: buttons, column: cell[0], row: cell[1],
                                time: event.timeStamp};
        return isDouble;
    }
    function cellOf(event) {
        var box = canvas.getBoundingClientRect();
        var column = Math.floor((event.clientX - box.left) * 80 / box.width);
        var row = Math.floor((event.clientY - box.top) * 50 / box.height);
        return [Math.min(79, Math.max(0, column)), Math.min(49, Math.max(0, row))];
    }
    function send(event, flags) {
        var cell = cellOf(event);
        Module._shadestrip_mouse(cell[0], cell[1], event.buttons & 3, flags);
    }
    canvas.addEventListener('mousedown', function(event) {
        event.preventDefault();
        canvas.focus();
        if (state !== 'playing') {
            play(event);
            return;
        }
        held = event.buttons & 3;
        send(event, doubleClick(event, 1 << event.button) ? 2 : 0);
    });
    // Moves and releases count anywhere while a button is held on the picture.
    window.addEventListener('mousemove', function(event) {
        if (state !== 'playing')
            return;
        if (held) {
            var cell = cellOf(event);
            if (cell[0] !== lastPress.column || cell[1] !== lastPress.row)
                lastPress.buttons = 0;
        }
        if (event.target === canvas || held)
            send(event, 1);
    });
    window.addEventListener('mouseup', function(event) {
        if (state !== 'playing' || (!held && event.target !== canvas))
            return;
        held = event.buttons & 3;
        send(event, 0);
    });
    document.addEventListener('mousedown', function(event) {
        if (event.target !== canvas && (state === 'ready' || state === 'ended'))
            play(event);
    });
    canvas.addEventListener('contextmenu', function(event) {
        event.preventDefault();
    });
    canvas.addEventListener('wheel', function(event) {
        event.preventDefault();
    }, {passive: false});
})();
