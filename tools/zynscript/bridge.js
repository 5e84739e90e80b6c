// The JavaScript half of the automation bridge. Evaluated once per engine; returns the helpers
// the C++ half (CDispatchBridge) calls. Each automation object is a Proxy whose traps ask its C++
// handle (CDispatchHandle) what a name means and then get, put or call it.
(function () {
    'use strict';

    // Member kinds, as CInterfaceInfo numbers them.
    const UNKNOWN = 0, METHOD = 1, VALUE = 2, INDEXED = 3, DYNAMIC = 4;
    const DISPATCH_METHOD_OR_GET = 3, DISPATCH_GET = 2;

    // Answered by every wrapper's get trap with its handle. Only this closure holds the symbol, so
    // a script cannot reach a handle. (A WeakMap from wrapper to handle would do the same, but the
    // engine's weak collections have proven unreliable under garbage collection.)
    const handleKey = Symbol('handle');
    // What CDispatchHandle.getDynamic answers for a member that must be called with arguments.
    const callMarker = Object.freeze({});

    // The function a script calls for a member. The handle's methods are looked up once: each
    // lookup makes a new function object on the engine's heap, which a loop of calls would leave to
    // the collector. Fixed arities spare the common calls an array.
    function invoker(handle, id, flags) {
        const invoke0 = handle.invoke0, invoke1 = handle.invoke1, invoke2 = handle.invoke2, invoke = handle.invoke;
        return function () {
            const n = arguments.length;
            if (n === 0) return invoke0(id, flags);
            if (n === 1) return invoke1(id, flags, arguments[0]);
            if (n === 2) return invoke2(id, flags, arguments[0], arguments[1]);
            return invoke(id, flags, Array.prototype.slice.call(arguments));
        };
    }

    // Throwing at the read would be right, but the engine loses an exception raised while it looks
    // up a member to call; so an unknown name reads as a function that raises the unknown-name
    // error when called. Made here rather than inside the get trap: a function made in the trap
    // would cost every read of every member a context on the engine's heap.
    function unknownMember(handle, name) {
        return function () { return handle.unknown(name); };
    }

    function wrap(handle) {
        // Name as written -> {kind, id, fn}; unknown names are not kept, so probing cannot grow it.
        const members = new Map();
        // The handle's methods for properties, looked up on first use (each lookup makes a function).
        let invoke0 = null, put = null;
        function getter() {
            if (invoke0 === null) invoke0 = handle.invoke0;
            return invoke0;
        }
        function putter() {
            if (put === null) put = handle.put;
            return put;
        }
        function member(name) {
            let m = members.get(name);
            if (m === undefined) {
                const r = handle.resolve(name);
                m = { kind: r[0], id: r[1], fn: null };
                if (m.kind !== UNKNOWN) members.set(name, m);
            }
            return m;
        }
        function read(t, name) {
            if (typeof name !== 'string') return name === handleKey ? handle : Reflect.get(t, name);
            const m = member(name);
            // Plain ifs: with the switch that stood here the engine did not keep the function made
            // on the first read, and every read made a new one.
            const kind = m.kind;
            if (kind === METHOD || kind === INDEXED) {
                if (m.fn === null)
                    m.fn = invoker(handle, m.id, kind === METHOD ? DISPATCH_METHOD_OR_GET : DISPATCH_GET);
                return m.fn;
            }
            if (kind === VALUE) return getter()(m.id, DISPATCH_GET);
            if (kind === DYNAMIC) {
                const value = handle.getDynamic(m.id);
                return value === callMarker ? invoker(handle, m.id, DISPATCH_METHOD_OR_GET) : value;
            }
            // Conversions such as String(obj) look for toString and valueOf.
            if (name in Object.prototype) return Reflect.get(t, name);
            return unknownMember(handle, name);
        }
        const target = {};
        const proxy = new Proxy(target, {
            get(t, name) {
                // A member read before is answered at once: the loop of a script.
                const known = members.get(name);
                if (known === undefined) return read(t, name);
                if (known.fn !== null) return known.fn;
                return known.kind === VALUE ? getter()(known.id, DISPATCH_GET) : read(t, name);
            },
            set(t, name, value) {
                if (typeof name !== 'string') return false;
                const m = member(name);
                if (m.kind === UNKNOWN) return handle.unknown(name);
                putter()(m.id, value);
                return true;
            },
            has(t, name) {
                return typeof name === 'string' && member(name).kind !== UNKNOWN;
            },
            defineProperty() { return false; },
            deleteProperty() { return false; },
            setPrototypeOf() { return false; },
        });
        return proxy;
    }

    // The bytes a view shows, without a copy when it shows its whole buffer.
    function bytesOf(v) {
        return v.byteOffset === 0 && v.byteLength === v.buffer.byteLength
            ? v.buffer : v.buffer.slice(v.byteOffset, v.byteOffset + v.byteLength);
    }

    // Typed arrays of numbers travel as arrays of the matching automation type (VARTYPE numbers).
    const VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_UI2 = 18, VT_UI4 = 19;
    const numberArrays = [[Float64Array, VT_R8], [Float32Array, VT_R4], [Int32Array, VT_I4],
                          [Uint32Array, VT_UI4], [Int16Array, VT_I2], [Uint16Array, VT_UI2]];

    // What a script value is when it is not a primitive, an array or a date: the handle of a
    // wrapped object, the bytes of a binary buffer, {vt, buffer} for a typed array of numbers, or
    // undefined.
    function classify(v) {
        const handle = v[handleKey];
        if (handle !== undefined) return handle;
        if (v instanceof ArrayBuffer) return v;
        if (v instanceof Uint8Array || v instanceof Int8Array || v instanceof Uint8ClampedArray || v instanceof DataView)
            return bytesOf(v);
        for (const [type, vt] of numberArrays)
            if (v instanceof type) return { vt: vt, buffer: bytesOf(v) };
        return undefined;
    }

    // An array of doubles from an object comes back as a Float64Array over its bytes.
    function float64(buffer) {
        return new Float64Array(buffer);
    }

    function makeError(number, description, source) {
        const e = new Error(description);
        e.number = number;
        e.description = description;
        e.source = source;
        return e;
    }

    // The script's own code may run while a value is read (an element's getter, a proxy's trap):
    // what it throws must reach the script, which a read from C++ would swallow. These read in
    // the script's world and report [true, result] or [false, what was thrown].
    // An array of numbers only also comes as the bytes of its doubles ([true, items, bytes]), which
    // C++ reads in one piece instead of an element at a time.
    function elements(a, max) {
        try {
            const n = a.length;
            if (!(n >= 0 && n <= max)) return [true, null, null];
            const items = new Array(n);
            let numbers = new Float64Array(n);
            for (let i = 0; i < n; ++i) {
                const item = a[i];
                items[i] = item;
                if (numbers !== null) {
                    if (typeof item === 'number') numbers[i] = item;
                    else numbers = null;
                }
            }
            return [true, items, numbers === null ? null : numbers.buffer];
        } catch (e) {
            return [false, e];
        }
    }
    function classifyGuarded(v) {
        try {
            return [true, classify(v)];
        } catch (e) {
            return [false, e];
        }
    }

    return {
        wrap: wrap, classify: classifyGuarded, elements: elements, callMarker: callMarker, makeError: makeError,
        float64: float64
    };
})
