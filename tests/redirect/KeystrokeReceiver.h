#pragma once

namespace pelvaro::test {

// A small X client on DISPLAY's server that takes the keyboard focus and
// reports what it receives on standard output, one line each:
//   "ready"        its window is mapped and has the focus
//   "text <UTF-8>" a key press that gives a character
//   "return"       a press of the Return key
//   "mapping"      a change of the keyboard map, taken in at once
// It looks each key up in its own copy of the map, as real clients do.
// Returns only if the server cannot be reached; it ends with the server.
int runKeystrokeReceiver();

} // namespace pelvaro::test
