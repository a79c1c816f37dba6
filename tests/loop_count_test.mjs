// The loop count field takes what the command line reads as exactly the
// number shown, and names the problem of anything else.
//
//   node --test tests/loop_count_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { read } from '../web/page/loop_count.js';

test('plain digits from 1 to 2^31 - 1 are taken, white space around them allowed', () => {
  for (const [text, value] of [['1', 1], [' 2 ', 2], ['007', 7], ['2147483647', 2147483647]]) {
    assert.deepEqual(read(text), { value }, text);
  }
});

test('what the command line would refuse or read as another number is a problem', () => {
  const problems = { '': /Enter a loop count/, '0': /at least 1/, '-3': /negative/, '2.5': /fraction/, '3,0': /fraction/,
    '1e3': /plain digits/, 'two': /whole number/, '+2': /whole number/, '2147483648': /at most 2,147,483,647/,
    '4294967298': /at most/ };
  for (const [text, problem] of Object.entries(problems)) assert.match(read(text).problem, problem, JSON.stringify(text));
});
