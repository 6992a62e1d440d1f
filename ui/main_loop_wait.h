// Waiting on the UI thread without freezing the window: the default GLib main
// context keeps running (painting, WebKit's replies, timers) while a caller
// waits for a condition, as a modal dialog's loop does.
#ifndef MORVELLIN_UI_MAIN_LOOP_WAIT_H_
#define MORVELLIN_UI_MAIN_LOOP_WAIT_H_

#include <chrono>
#include <functional>

namespace morvellin {

// Runs iterations of the default main context until `done` returns true or
// `limit` has passed, and returns done()'s last answer. `done` is checked
// after every iteration; another thread that makes it true must call
// g_main_context_wakeup(nullptr) afterwards. Call on the UI thread only.
bool RunMainLoopUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit);

}  // namespace morvellin

#endif  // MORVELLIN_UI_MAIN_LOOP_WAIT_H_
