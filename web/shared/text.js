// How numbers are written wherever the page shows them: grouped digits, and
// seconds to the millisecond.
const grouping = new Intl.NumberFormat('en');  // toLocaleString makes one each call

export const count = (n) => grouping.format(n);
export const seconds = (s) => s.toFixed(3) + ' s';
