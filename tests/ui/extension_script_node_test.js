// The registered extension script run for real in node. Velkor.ui (argv[2]) is started as a
// renderer; the script it registers is taken from the runtime's report, its "native function"
// declarations are rewritten to recording stubs, and it is evaluated in a fresh V8 context.
// Then the recorded native calls are fed back to Velkor.ui as page calls, and the process
// messages it sends are checked: page -> velkor.* -> native function -> process message.
'use strict';
const assert = require('assert');
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const vm = require('vm');

const exe = process.argv[2];
assert.ok(exe, 'usage: node extension_script_node_test.js <path of Velkor.ui>');
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'velkor-ui-node-'));
let runs = 0;

function runUi(args, input) {
  const report = path.join(dir, `report-${runs++}`);
  const env = Object.assign({}, process.env, { VELKOR_CEF_REPORT: report });
  delete env.VELKOR_CEF_INJECT;
  const r = childProcess.spawnSync(exe, args, { input: input || '', env, encoding: 'utf8' });
  assert.strictEqual(r.status, 0, `Velkor.ui ${args.join(' ')} failed: ${r.stderr}`);
  const lines = fs.readFileSync(report, 'utf8').split('\n').filter((l) => l.length > 0);
  return lines.map((l) => JSON.parse(l));
}

function registeredScript(lang) {
  const args = ['--type=renderer'];
  if (lang !== null) args.push(`--lang=${lang}`);
  const ext = runUi(args).filter((e) => e.event === 'extension');
  assert.strictEqual(ext.length, 1);
  assert.strictEqual(ext[0].name, 'v8/velkor');
  assert.strictEqual(ext[0].result, true);
  assert.strictEqual(ext[0].length, ext[0].code.length);
  return ext[0].code;
}

const MARK = { marker: 'native result' };

// Evaluates the script with recording stubs; `preset` is an optional existing global velkor.
function evaluate(code, preset) {
  const calls = [];
  let declarations = 0;
  const rewritten = code.replace(/native function (\w+)\(\);/g, (m, name) => {
    declarations++;
    return `function ${name}() { return __native(${JSON.stringify(name)}, ` +
           'Array.prototype.slice.call(arguments)); }';
  });
  assert.strictEqual(declarations, 7, 'seven native function declarations');
  const sandbox = {
    __native: (name, args) => { calls.push({ name, args: Array.from(args) }); return MARK; },
  };
  if (preset !== undefined) sandbox.velkor = preset;
  const context = vm.createContext(sandbox);
  vm.runInContext(rewritten, context, { filename: 'velkor' });
  return { velkor: vm.runInContext('velkor', context), calls, context };
}

const members = [
  ['sendGameEngine', 'sendGE', true],
  ['sendActiveObjectLua', 'sendOLua', true],
  ['sendSystemLua', 'sendSLua', true],
  ['sendEngineLua', 'sendELua', true],
  ['requestVersionInfo', 'getVerInfo', false],
  ['requestSteamInfo', 'getSteamInfo', true],
  ['getCEFContextNo', 'getCEFContextNo', false],
];

// 1. Every member reaches its native function with the right arguments and returns its result.
{
  const { velkor, calls } = evaluate(registeredScript(null));
  assert.strictEqual(velkor.language, 'en-US');
  assert.deepStrictEqual(Object.keys(velkor).sort(),
                         members.map((m) => m[0]).concat(['language']).sort());
  for (const [member, native, takesString] of members) {
    calls.length = 0;
    const text = `text for ${member} "quoted" \u00e9`;
    assert.strictEqual(velkor[member](text, 'extra', 3), MARK, member);
    assert.deepStrictEqual(calls, [{ name: native, args: takesString ? [text] : [] }], member);
  }
  // The wrappers always pass exactly one argument on, or none.
  calls.length = 0;
  velkor.sendGameEngine();
  velkor.sendGameEngine(42);
  velkor.requestVersionInfo(1);
  assert.deepStrictEqual(calls, [
    { name: 'sendGE', args: [undefined] },
    { name: 'sendGE', args: [42] },
    { name: 'getVerInfo', args: [] },
  ]);
}

// 2. velkor.language holds the switch's value; an empty switch leaves no member.
{
  assert.strictEqual(evaluate(registeredScript('de-DE')).velkor.language, 'de-DE');
  assert.strictEqual(evaluate(registeredScript('en-US')).velkor.language, 'en-US');
  const empty = evaluate(registeredScript('')).velkor;
  assert.ok(!('language' in empty), 'no language member for an empty lang');
  assert.strictEqual(typeof empty.sendGameEngine, 'function');
}

// 3. Quotes, backslashes, line breaks and crafted values stay one string value.
for (const lang of ['a"b', 'back\\slash', 'line\nbreak', 'sep\u2028arator',
                    'x";globalThis.pwned=1;"', '\\";globalThis.pwned=1;//', 'caf\u00e9']) {
  const { velkor, context } = evaluate(registeredScript(lang));
  assert.strictEqual(velkor.language, lang, JSON.stringify(lang));
  assert.strictEqual(vm.runInContext('typeof pwned', context), 'undefined');
}

// 4. An existing truthy velkor object is kept; its members are (re)assigned.
{
  const preset = { keep: 1, sendGameEngine: null };
  const { velkor } = evaluate(registeredScript('fr-FR'), preset);
  assert.strictEqual(velkor, preset);
  assert.strictEqual(velkor.keep, 1);
  assert.strictEqual(typeof velkor.sendGameEngine, 'function');
  assert.strictEqual(velkor.language, 'fr-FR');
}

// 5. Round trip: the native calls that the page made go to Velkor.ui as page calls.
{
  const { velkor, calls } = evaluate(registeredScript(null));
  velkor.sendGameEngine('ui.ready()');
  velkor.sendActiveObjectLua('obj:queue("x")');
  velkor.sendSystemLua('print(\'\u00e9\')');
  velkor.sendEngineLua('');
  velkor.requestVersionInfo(1);
  velkor.requestSteamInfo('user');
  velkor.getCEFContextNo();
  velkor.sendGameEngine(42);  // not a string: nothing is sent
  velkor.sendGameEngine();    // undefined: nothing is sent
  const encode = (v) => (v === undefined ? 'undefined' : JSON.stringify(v));
  const input = calls.map((c) => ['call', c.name].concat(c.args.map(encode)).join(' ')).join('\n');
  const events = runUi(['--type=renderer'], input + '\n');
  const sends = events.filter((e) => e.event === 'send').map((e) => [e.name, e.args, e.result]);
  assert.deepStrictEqual(sends, [
    ['sendGE', ['ui.ready()'], true],
    ['sendOLua', ['obj:queue("x")'], true],
    ['sendSLua', ['print(\'\u00e9\')'], true],
    ['sendELua', [''], true],
    ['getVerInfo', [], true],
    ['getSteamInfo', ['user'], true],
    ['getCEFContextNo', [], true],
  ]);
  const refused = events.filter((e) => e.event === 'call' && !e.result);
  assert.deepStrictEqual(refused.map((e) => [e.name, e.exception]),
                         [['sendGE', 'Invalid method'], ['sendGE', 'Invalid method']]);
  assert.strictEqual(events.filter((e) => e.event === 'error').length, 0);
}

fs.rmSync(dir, { recursive: true, force: true });
console.log('extension script: all checks passed');
