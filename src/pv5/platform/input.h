// The headless input script: simulated user actions, one per line.
//
//   key C            a key press with character C, or one of:
//                    return escape backspace tab space
//   text STRING      one key press per character of the rest of the line
//   pointer X Y      the mouse moves to (X, Y)
//   click X Y        a button press and release at (X, Y)
//   close W          the user clicks window W's close box
//   move W X Y       the user moves window W's content top-left to (X, Y)
//   resize W WD HT   the user resizes window W's content to WD x HT
//
// Coordinates are global pixels, y down; W is a window's tag.  Blank lines
// and lines starting with '#' are skipped quietly.
#ifndef PV5_PLATFORM_INPUT_H
#define PV5_PLATFORM_INPUT_H

#include <string>

enum plat_input_verb {
  PLAT_IN_NONE,  // blank or comment
  PLAT_IN_KEY,
  PLAT_IN_TEXT,
  PLAT_IN_POINTER,
  PLAT_IN_CLICK,
  PLAT_IN_CLOSE,
  PLAT_IN_MOVE,
  PLAT_IN_RESIZE,
};

struct plat_input_action {
  plat_input_verb verb;
  // key: a = character; pointer, click: a = X, b = Y; close: a = W;
  // move: a = W, b = X, c = Y; resize: a = W, b = WD, c = HT
  int a, b, c;
  std::string text;  // text: the characters to type
};

// Parses one line without its line end.  Answers 0, or -1 when the line is
// not one of the actions above.
int plat_input_parse(const char *line, plat_input_action *act);

#endif  // PV5_PLATFORM_INPUT_H
