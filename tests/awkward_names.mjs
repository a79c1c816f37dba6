// Awkward names of WAVs, for the unit test of the names they are saved under
// and for the browser test, which asks Chromium itself.
// [name as the run makes it, name as saved]
export const AWKWARD = [
  ['town.wav', 'town.wav'],
  ['-minus.wav', '-minus.wav'],
  ['+plus.wav', '+plus.wav'],
  ['@at.wav', '@at.wav'],
  ['=SUM(A1).wav', '=SUM(A1).wav'],
  ['100%.wav', '100%.wav'],
  ['bang!.wav', 'bang!.wav'],
  ['final mix.wav', 'final mix.wav'],
  ['音楽.wav', '音楽.wav'],
  [' leading space.wav', '_leading space.wav'],
  ['  two spaces.wav', '_ two spaces.wav'],
  ['~home.wav', '_home.wav'],
  ['a~b.wav', 'a~b.wav'],
  ['  two.wav', '_ two.wav'],
  ['\u00a0nbsp.wav', '_nbsp.wav'],
  ['.wav', 'wav.wav'],
  ['..wav', 'wav.wav'],
  ['.hidden.wav', 'hidden.wav'],
  ['a:b.wav', 'a_b.wav'],
  ['back\\slash.wav', 'back_slash.wav'],
  ['"quoted".wav', '_quoted_.wav'],
  ['tab\there.wav', 'tab_here.wav'],
  ['new\nline.wav', 'new_line.wav'],
  ['star*?.wav', 'star__.wav'],
  ['<angle>|.wav', '_angle__.wav'],
  ['zero\u200bwidth.wav', 'zero_width.wav'],
  ['non\ufdd0char.wav', 'non_char.wav'],
];

