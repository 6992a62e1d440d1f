// Helpers of the window tests: the scratch folder that HOME and the XDG
// folders point into, waiting on the main loop, finding controls by name,
// synthetic input through GDK's event queue (so it meets the window's busy
// filter like real input), page loads in the browser pane and screenshots.
#ifndef MORVELLIN_TESTS_WINDOW_WINDOW_TEST_SUPPORT_H_
#define MORVELLIN_TESTS_WINDOW_WINDOW_TEST_SUPPORT_H_

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <string>

#include "ui/main_window.h"

namespace morvellin::testing {

using namespace std::chrono_literals;

// This test process's scratch folder; HOME and XDG_* point into it. The test
// main sets it before GTK starts.
const std::string& ScratchFolder();
void SetScratchFolder(const std::string& folder);
// A new, empty folder inside the scratch folder.
std::string NewScratchSubfolder(const std::string& stem);

// Options for a window that loads nothing by itself and keeps its website
// data in a folder of its own.
MainWindowOptions QuietWindowOptions();

// Runs the main loop until `done` or `limit`; returns done().
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s);
// Runs the main loop for `time`.
void RunFor(std::chrono::milliseconds time);

// The toplevel's place on the screen and size, as the X server has them.
struct Frame {
  int x = 0, y = 0, width = 0, height = 0;
};
Frame WindowFrame(Gtk::Window& window);
// Shows the window and waits until the server has mapped it at its size.
bool ShowAndWait(MainWindow& window);
// Waits until the server's width of the window is `width`.
bool WaitForWidth(Gtk::Window& window, int width);

// The widget named `name` under `root`, or null.
Gtk::Widget* FindByName(Gtk::Widget& root, const std::string& name);
// The GDK window that receives `widget`'s pointer input.
GdkWindow* InputWindowOf(Gtk::Widget& widget);

// Queues a key press and release for the toplevel window of `window`.
void SendKey(Gtk::Window& window, guint keyval, guint state = 0);
// Queues a press or a release of mouse `button` at (x, y) of `target`.
void SendButton(GdkWindow* target, GdkEventType type, double x, double y,
                guint button = GDK_BUTTON_PRIMARY);
// A press and a release at the middle of `widget`.
void SendClick(Gtk::Widget& widget);

// Loads `uri` into the pane; true once the load finished without failing.
bool LoadPage(WebKitWebView* view, const std::string& uri,
              std::chrono::milliseconds limit = 10s);
bool LoadHtml(WebKitWebView* view, const std::string& html, const std::string& base_uri,
              std::chrono::milliseconds limit = 10s);

// Runs `script` in the pane's page and returns its value as a string.
std::string RunScript(WebKitWebView* view, const std::string& script);

// Draws the window's client area into a PNG file, making its folder.
void SaveScreenshot(Gtk::Window& window, const std::string& file);

}  // namespace morvellin::testing

#endif  // MORVELLIN_TESTS_WINDOW_WINDOW_TEST_SUPPORT_H_
