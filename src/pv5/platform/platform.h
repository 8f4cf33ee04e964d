// The platform layer under pv5: one event queue and poll() loop on the main
// thread, the message endpoint, the signal source, and windows with cairo
// backing stores, over one of two backends chosen at start-up (X11 or
// headless).  The server logic in src/pv5/ calls only what is declared here
// (and plain cairo on the contexts it is handed); nothing above this header
// ever sees Xlib.
//
// Coordinates: screen rectangles and mouse points are global pixels of the
// main display, origin top-left, y growing downward.  Drawing contexts are the
// opposite: origin at the content's lower-left corner, y up, one unit a pixel
// (the logic adds its own uniform scale).
#ifndef PV5_PLATFORM_H
#define PV5_PLATFORM_H

#include <cairo.h>
#include <stdint.h>

// ---------------------------------------------------------------- events

// Four-character codes of the event classes.
constexpr uint32_t plat_fourcc(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
         (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}
constexpr uint32_t kPlatClassWork = plat_fourcc('W', 'O', 'R', 'K');   // kind: message id
constexpr uint32_t kPlatClassSignal = plat_fourcc('S', 'G', 'N', 'L'); // kind: signal number
constexpr uint32_t kPlatClassWindow = plat_fourcc('w', 'i', 'n', 'd');
constexpr uint32_t kPlatClassKeyboard = plat_fourcc('k', 'e', 'y', 'b');
constexpr uint32_t kPlatClassMouse = plat_fourcc('m', 'o', 'u', 's');

// Kinds of window, keyboard and mouse events.
constexpr uint32_t kPlatWindowBoundsChanged = 27;  // moved or resized by the user
constexpr uint32_t kPlatWindowClose = 72;          // the user asked to close it
constexpr uint32_t kPlatKeyRawKeyDown = 1;         // ch holds the character
constexpr uint32_t kPlatMouseDown = 1;
constexpr uint32_t kPlatMouseUp = 2;
constexpr uint32_t kPlatMouseMoved = 5;

// Handler answers.
constexpr int32_t kPlatHandled = 0;
constexpr int32_t kPlatNotHandled = -9874;

struct plat_window;

struct plat_event {
  uint32_t cls;
  uint32_t kind;
  plat_window *win;  // the window concerned, or null (WORK, SGNL, keys)
  int x, y;          // mouse point, global pixels (mouse events)
  int ch;            // character of a key down: 13 return, 27 escape, 8 backspace
};
// Mouse events name the window they happened in (headless: the topmost
// shown window containing the point), or null outside every window.

// An event handler answers kPlatHandled or kPlatNotHandled.  Window events
// go to the window's handler first; what it does not handle goes on to the
// application handler.  Events without a window go to the application handler.
typedef int32_t (*plat_handler)(const plat_event *ev, void *user);

// ---------------------------------------------------------------- start-up

enum plat_backend { PLAT_X11, PLAT_HEADLESS };

struct plat_options {
  plat_backend backend;
  int display_w, display_h;  // headless display size (0: 1280 x 1024)
  const char *snapshot_dir;  // headless or X11: write DIR/window<k>.png on flush; may be null
  const char *input_path;    // headless only: scripted user actions; may be null
  const char *icon_path;     // PNG to set as the window icon; may be null
};
// Snapshots: every plat_window_flush, plat_overlay_flush and plat_overlay_end
// of a tagged window writes DIR/window<k>.png (k the tag; a temporary file
// renamed into place), backing store with the overlay composited.  Idle
// presents write none, so what a client finds after a reply is settled.
// DIR/events.log (truncated by plat_open) gets one line per observable
// thing: "bounds <k> <top> <left> <bottom> <right>" when a window is tagged
// and on every bounds change, "title <k> <text>" when tagged and on every
// change, "flush <k>", "beep", "dispose <k>".
//
// Input script (headless), one action a line; coordinates global pixels,
// y down; W a window tag:
//   key C | key return|escape|backspace|tab|space   a key down (13 27 8 9 32)
//   text STRING      one key down per character of the rest of the line
//   pointer X Y      the mouse moves there: mouse moved event
//   click X Y        the mouse moves there: mouse down, then up
//   close W          close event for window W
//   move W X Y       content top-left moves to (X, Y), then bounds changed
//   resize W WD HT   content becomes WD x HT, then bounds changed
// Unknown lines get a "pv5:" line on standard error and are skipped.  A
// line's effect (mouse position, bounds) happens when the loop takes it,
// once the events before it are consumed.  The application loop reads a
// waiting message before waiting input, so a client that sends a command
// and then writes input has the command run first; input meant to act
// before a command must be seen to act (the events log) before sending.
// The headless mouse starts off-screen at (-1, -1).

// Opens the display (or the headless stand-in).  Returns 0, or -1 with a
// one-line reason in err (no "pv5:" prefix).
int plat_open(const plat_options *opt, char *err, int errlen);
// Releases everything plat_open and the calls below acquired; a no-op when
// nothing was opened.
void plat_close();

// Main display size in pixels.
void plat_display_size(int *w, int *h);

// Loads the application icon; answers 0 when found and usable, -1 otherwise.
// Icons larger than 128 pixels are scaled down (X11: _NET_WM_ICON).
int plat_set_icon(const char *png_path);

// ---------------------------------------------------------------- sources

// Binds the message endpoint for name N: an abstract AF_UNIX datagram socket
// "pv5." N with SO_PASSCRED.  Each datagram from our own uid whose first 4
// bytes are an int32 becomes a WORK event of that kind; others are dropped.
// Answers 0, or -1 (name in use or socket failure) with errno set; one
// endpoint per process (a second call answers -1, errno EALREADY).
int plat_msgport_open(const char *name);
// Self-pipe signal source: the handler writes the signal number to the pipe
// (and nothing else); the loop turns it into a SGNL event of that kind.
// Answers 0, or -1 with errno set.  plat_close restores the default action.
int plat_signal_install(int sig);

// ---------------------------------------------------------------- loop

void plat_set_app_handler(plat_handler fn, void *user);

// Runs the application loop until plat_quit_app_loop().  While a handler
// runs (a command executes), no further message is taken from the endpoint.
// Windows marked by plat_window_synchronize are presented when the loop is
// idle.
void plat_run_app_loop();
void plat_quit_app_loop();
bool plat_quit_requested();

// Nested loop support (the graphic cursor): waits for the next event of any
// kind from the display, the signal source or the headless input, and removes
// it from the queue.  The message endpoint is not read.  timeout_ms < 0 waits
// forever.  Answers 0 with *ev filled, 1 on timeout, -1 when the application
// loop has been told to quit (so a nested loop can end).
int plat_receive_next_event(plat_event *ev, int timeout_ms);
// Hands an event to a window's handler, then (if not handled) to the
// application handler.  Answers the last handler's status.
int32_t plat_send_event_to_window(plat_window *win, const plat_event *ev);

// ---------------------------------------------------------------- windows

struct plat_rect {
  int top, left, bottom, right;  // global pixels, y down
};

// A new top-level plot window, hidden, white, with the given content
// rectangle.  Null on failure.
plat_window *plat_window_create(const plat_rect *content);
// Destroys the window on screen at once and drops its queued events; the
// object itself is freed after the event being dispatched (if any) is done,
// so a handler further up the chain may still compare the pointer.  Exactly
// once per window; a second call is ignored, and a disposed window's handler
// is never called again (events sent to it go to the application handler).
void plat_window_dispose(plat_window *win);
void plat_window_show(plat_window *win);
void plat_window_set_title(plat_window *win, const char *title);
const char *plat_window_title(const plat_window *win);
void plat_window_content_bounds(const plat_window *win, plat_rect *r);
void plat_window_set_content_bounds(plat_window *win, const plat_rect *r);
// The tag holding the window's slot number; answers false when untagged.
void plat_window_set_tag(plat_window *win, int32_t tag);
bool plat_window_tag(const plat_window *win, int32_t *tag);
void plat_window_set_handler(plat_window *win, plat_handler fn, void *user);
// Active: has the input focus (headless: the last shown or selected).
// Collapsed: iconified (headless: never).  Selecting raises the window and
// gives it the focus.
bool plat_window_is_active(const plat_window *win);
bool plat_window_is_collapsed(const plat_window *win);
void plat_window_select(plat_window *win);

// A cairo context on the window's backing store: origin at the content's
// lower-left corner, y up, one unit a pixel.  Release with cairo_destroy.
// After a resize, a new context must be made: the backing store was replaced
// (white, with what of the old picture fits kept at the top-left).
cairo_t *plat_context_create(plat_window *win);
// Presents the backing store (and the overlay, when there is one) now.
void plat_window_flush(plat_window *win);
// Marks the window for presenting when the loop is next idle.
void plat_window_synchronize(plat_window *win);

// The cursor's overlay: a transparent ARGB layer over the window's content,
// composited above the backing store when presenting; the plot itself is
// never touched.  Its context has the same orientation as a window context
// (lower-left origin, y up, unit a pixel) and is owned by the window: valid
// until plat_overlay_end, or until a disposed window is freed after the
// dispatch.  At most one per window: a second begin answers the same
// context.  A resize of the window also fits the overlay (cleared).  The
// overlay covers at least the display size or the content size at begin,
// whichever is larger; beyond that a later, larger content shows it only in
// part.
cairo_t *plat_overlay_begin(plat_window *win);
// Resizes the overlay to the window's current content size (after a bounds
// change); the overlay context stays valid and is cleared.
void plat_overlay_update_bounds(plat_window *win);
// Presents the window with its overlay now.
void plat_overlay_flush(plat_window *win);
// Drops the overlay and presents the window without it at once.
void plat_overlay_end(plat_window *win);

// ---------------------------------------------------------------- user

// The mouse position in global pixels.
void plat_global_mouse(int *x, int *y);
// The alert sound.
void plat_beep();

// ---------------------------------------------------------------- headless record
// What the headless backend remembers, for tests (all zero on X11).
struct plat_record {
  int presents;  // frames presented, all windows
  int beeps;
};
const plat_record *plat_headless_record();

#endif  // PV5_PLATFORM_H
