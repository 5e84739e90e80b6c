// The WScript object and ActiveXObject constructor that scripts expect, built over the host's
// C++ services (CWScript). Evaluated once per run; returns the two globals.
(function (host, makeError, scriptName, scriptFullName, argumentList) {
    'use strict';

    const DISP_E_BADINDEX = 0x8002000B | 0;
    const E_INVALIDARG = 0x80070057 | 0;

    // Automation names compare without regard to case (WScript.echo works as WScript.Echo).
    function caseless(object) {
        const names = new Map();
        for (const key of Object.keys(object)) names.set(key.toLowerCase(), key);
        return new Proxy(object, {
            get(t, name) {
                if (typeof name === 'string') {
                    const key = names.get(name.toLowerCase());
                    if (key !== undefined) return t[key];
                }
                return Reflect.get(t, name);
            },
            set() { return false; },
            has(t, name) {
                return (typeof name === 'string' && names.has(name.toLowerCase())) || Reflect.has(t, name);
            },
        });
    }

    function argumentsObject(list) {
        function item(index) {
            const i = Number(index);
            if (!Number.isInteger(i) || i < 0 || i >= list.length)
                throw makeError(DISP_E_BADINDEX, 'Argument index out of range', 'WScript.Arguments');
            return list[i];
        }
        // Callable too: WScript.Arguments(0) is WScript.Arguments.Item(0).
        const object = function (index) { return item(index); };
        Object.defineProperty(object, 'length', { value: list.length });
        object.Count = function () { return list.length; };
        object.Item = item;
        return caseless(object);
    }

    function createObject(progId, eventPrefix) {
        if (eventPrefix !== undefined && eventPrefix !== '')
            throw makeError(0x80004001 | 0, 'Connecting to object events is not supported', 'WScript.CreateObject');
        return host.createObject(String(progId));
    }

    const wscript = caseless({
        Echo: function () {
            host.echo(Array.prototype.map.call(arguments, String).join(' '));
        },
        Sleep: function (ms) { host.sleep(Number(ms)); },
        Quit: function (code) {
            const n = code === undefined ? 0 : Number(code);
            if (!Number.isInteger(n))
                throw makeError(E_INVALIDARG, 'The exit code must be a whole number', 'WScript.Quit');
            // A process returns 0 to 255; a code beyond them (or below) must not read as success.
            host.quit(n >= 0 && n <= 255 ? n : 255);
        },
        CreateObject: createObject,
        Arguments: argumentsObject(Array.prototype.slice.call(argumentList)),
        ScriptName: scriptName,
        ScriptFullName: scriptFullName,
        Name: 'zynscript',
    });

    function ActiveXObject(progId) {
        return host.createObject(String(progId));
    }

    return { WScript: wscript, ActiveXObject: ActiveXObject };
})
