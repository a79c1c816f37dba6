// The loop count field. It takes what the command line reads as exactly the
// number the field shows: plain decimal digits, from 1 to 2^31 - 1. Anything
// else the command line would refuse (0, a negative number, 2^31 and above)
// or read as another number (2.5 as 2, 1e3 as 1, 4294967298 as 2, text as
// 0) is a problem to fix before a file is converted with it.
const LARGEST = 2147483647;

// { value } for a loop count the command line reads as shown, else
// { problem }, a sentence for the user.
export function read(text) {
  const shown = text.trim();
  const range = 'a whole number from 1 to 2,147,483,647';
  if (shown === '') return { problem: `Enter a loop count: ${range}.` };
  if (/^[+-]?\d*[.,]\d*$/.test(shown)) return { problem: `The loop count must be ${range}, without a fraction.` };
  if (/^[+-]?\d+(\.\d*)?e/i.test(shown)) return { problem: `Write the loop count in plain digits: ${range}.` };
  if (/^-\d+$/.test(shown)) return { problem: `The loop count cannot be negative: ${range}.` };
  if (!/^\d+$/.test(shown)) return { problem: `The loop count must be ${range}.` };
  const value = Number(shown);
  if (value === 0) return { problem: `The loop count must be at least 1: ${range}.` };
  if (value > LARGEST) return { problem: `The loop count can be at most 2,147,483,647.` };
  return { value };
}

