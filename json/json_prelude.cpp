#include "json/json_prelude.h"

namespace {

// ECMAScript 3 syntax throughout: the fallbacks exist for engines without ECMAScript 5.
constexpr std::string_view kPrelude = R"js(
function get__count(c) {
    var count = -2;
    for (var name in c) count++;
    return count;
}
if (typeof JSON !== 'object') {
    JSON = {};
}
(function () {
    'use strict';

    function twoDigits(n) {
        return n < 10 ? '0' + n : n;
    }

    if (typeof Date.prototype.toJSON !== 'function') {
        Date.prototype.toJSON = function (key) {
            if (!isFinite(this.valueOf())) return null;
            return this.getUTCFullYear() + '-' + twoDigits(this.getUTCMonth() + 1) + '-' +
                twoDigits(this.getUTCDate()) + 'T' + twoDigits(this.getUTCHours()) + ':' +
                twoDigits(this.getUTCMinutes()) + ':' + twoDigits(this.getUTCSeconds()) + 'Z';
        };
        var primitiveOf = function (key) {
            return this.valueOf();
        };
        String.prototype.toJSON = primitiveOf;
        Number.prototype.toJSON = primitiveOf;
        Boolean.prototype.toJSON = primitiveOf;
    }

    var hasOwn = Object.prototype.hasOwnProperty;
    var classOf = function (value) {
        return Object.prototype.toString.call(value);
    };
    var hex4 = function (ch) {
        return '\\u' + ('0000' + ch.charCodeAt(0).toString(16)).slice(-4);
    };

    if (typeof JSON.stringify !== 'function') {
        // Besides quote, backslash and the controls: characters that some parsers and
        // transports drop or treat as line ends.
        var mustEscape = /[\\"\u0000-\u001f\u007f-\u009f\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g;
        var letterEscapes = {
            '\b': '\\b', '\t': '\\t', '\n': '\\n', '\f': '\\f', '\r': '\\r',
            '"': '\\"', '\\': '\\\\'
        };
        var quote = function (text) {
            mustEscape.lastIndex = 0;
            if (!mustEscape.test(text)) return '"' + text + '"';
            mustEscape.lastIndex = 0;
            return '"' + text.replace(mustEscape, function (ch) {
                return hasOwn.call(letterEscapes, ch) ? letterEscapes[ch] : hex4(ch);
            }) + '"';
        };

        // Text of holder[key], or undefined when it writes as nothing.
        var write = function (holder, key, job, indent) {
            var value = holder[key];
            if (value && typeof value === 'object' && typeof value.toJSON === 'function') {
                value = value.toJSON(key);
            }
            if (job.replacer) value = job.replacer.call(holder, key, value);
            if (value && typeof value === 'object') {
                var kind = classOf(value);
                if (kind === '[object Number]') value = Number(value);
                else if (kind === '[object String]') value = String(value);
                else if (kind === '[object Boolean]') value = value.valueOf();
            }
            switch (typeof value) {
            case 'string':
                return quote(value);
            case 'number':
                return isFinite(value) ? String(value) : 'null';
            case 'boolean':
                return String(value);
            case 'object':
                if (value === null) return 'null';
                break;
            default:
                return undefined;
            }

            for (var s = 0; s < job.open.length; s++) {
                if (job.open[s] === value) throw new TypeError('JSON.stringify: cyclic value');
            }
            job.open.push(value);
            var inner = indent + job.unit;
            var parts = [];
            var i, text, name;
            if (classOf(value) === '[object Array]') {
                for (i = 0; i < value.length; i++) {
                    text = write(value, String(i), job, inner);
                    parts.push(text === undefined ? 'null' : text);
                }
                job.open.pop();
                if (parts.length === 0) return '[]';
                if (!job.unit) return '[' + parts.join(',') + ']';
                return '[\n' + inner + parts.join(',\n' + inner) + '\n' + indent + ']';
            }
            var colon = job.unit ? ': ' : ':';
            var names = job.names;
            if (!names) {
                names = [];
                for (name in value) {
                    if (hasOwn.call(value, name)) names.push(name);
                }
            }
            for (i = 0; i < names.length; i++) {
                text = write(value, names[i], job, inner);
                if (text !== undefined) parts.push(quote(names[i]) + colon + text);
            }
            job.open.pop();
            if (parts.length === 0) return '{}';
            if (!job.unit) return '{' + parts.join(',') + '}';
            return '{\n' + inner + parts.join(',\n' + inner) + '\n' + indent + '}';
        };

        JSON.stringify = function (value, replacer, space) {
            var job = { replacer: null, names: null, unit: '', open: [] };
            var i, n;
            if (replacer) {
                if (typeof replacer === 'function') {
                    job.replacer = replacer;
                } else if (typeof replacer === 'object' && typeof replacer.length === 'number') {
                    // Names from strings and numbers, first occurrence kept.
                    job.names = [];
                    var seen = {};
                    for (i = 0; i < replacer.length; i++) {
                        var entry = replacer[i], kind = classOf(entry), name = undefined;
                        if (typeof entry === 'string' || typeof entry === 'number' ||
                            kind === '[object String]' || kind === '[object Number]') {
                            name = String(entry);
                        }
                        if (name !== undefined && !hasOwn.call(seen, name)) {
                            seen[name] = true;
                            job.names.push(name);
                        }
                    }
                } else {
                    throw new Error('JSON.stringify');
                }
            }
            if (space && typeof space === 'object') {
                if (classOf(space) === '[object Number]') space = Number(space);
                else if (classOf(space) === '[object String]') space = String(space);
            }
            if (typeof space === 'number') {
                n = Math.min(10, Math.floor(space));
                for (i = 0; i < n; i++) job.unit += ' ';
            } else if (typeof space === 'string') {
                job.unit = space.slice(0, 10);
            }
            return write({ '': value }, '', job, '');
        };
    }

    if (typeof JSON.parse !== 'function') {
        var mustProtect = /[\u0000\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g;
        var escapeSequence = /\\(?:["\\\/bfnrt]|u[0-9a-fA-F]{4})/g;
        var simpleValue = /"[^"\\\n\r]*"|true|false|null|-?\d+(?:\.\d*)?(?:[eE][+\-]?\d+)?/g;
        var openingBrackets = /(^|:|,)(?:\s*\[)+/g;
        var onlyStructure = /^[\],:{}\s]*$/;
        var globalEval = eval;

        var revive = function (holder, key, reviver) {
            var value = holder[key];
            if (value && typeof value === 'object') {
                for (var name in value) {
                    if (!hasOwn.call(value, name)) continue;
                    var revived = revive(value, name, reviver);
                    if (revived === undefined) delete value[name];
                    else value[name] = revived;
                }
            }
            return reviver.call(holder, key, value);
        };

        JSON.parse = function (text, reviver) {
            text = String(text);
            mustProtect.lastIndex = 0;
            if (mustProtect.test(text)) {
                mustProtect.lastIndex = 0;
                text = text.replace(mustProtect, hex4);
            }
            // What is left once escapes, strings, literals and numbers are gone may only be
            // structure; only then is the text handed to eval.
            var structure = text.replace(escapeSequence, '@')
                .replace(simpleValue, ']')
                .replace(openingBrackets, '$1');
            if (!onlyStructure.test(structure)) throw new SyntaxError('JSON.parse');
            var result = globalEval('(' + text + ')');
            if (typeof reviver === 'function') return revive({ '': result }, '', reviver);
            return result;
        };
    }

    if (!Object.prototype.toJSONString) {
        Object.prototype.toJSONString = function (filter) {
            return JSON.stringify(this, filter);
        };
        Object.prototype.parseJSON = function (filter) {
            return JSON.parse(this, filter);
        };
    }
}());
)js";

}  // namespace

std::string_view jsonPrelude() { return kPrelude; }
