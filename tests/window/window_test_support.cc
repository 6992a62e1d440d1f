#include "tests/window/window_test_support.h"

#include <glib/gstdio.h>

#include <atomic>
#include <filesystem>

#include "ui/main_loop_wait.h"

namespace morvellin::testing {
namespace {

std::string& ScratchStorage() {
  static std::string folder;
  return folder;
}

void QueueEvent(GdkEvent* event) {
  gdk_display_put_event(gdk_display_get_default(), event);
  gdk_event_free(event);
}

}  // namespace

const std::string& ScratchFolder() { return ScratchStorage(); }

void SetScratchFolder(const std::string& folder) { ScratchStorage() = folder; }

std::string NewScratchSubfolder(const std::string& stem) {
  static std::atomic<int> counter{0};
  std::string folder = ScratchFolder() + "/" + stem + "-" + std::to_string(++counter);
  std::filesystem::create_directories(folder);
  return folder;
}

MainWindowOptions QuietWindowOptions() {
  MainWindowOptions options;
  options.load_login_page = false;
  options.data_directory = NewScratchSubfolder("browser-data");
  options.cache_directory = NewScratchSubfolder("browser-cache");
  options.fetch.connect_timeout_seconds = 5;
  options.fetch.idle_timeout_seconds = 10;
  return options;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return RunMainLoopUntil(done, limit);
}

void RunFor(std::chrono::milliseconds time) {
  RunMainLoopUntil([] { return false; }, time);
}

Frame WindowFrame(Gtk::Window& window) {
  Frame frame;
  GdkWindow* own = gtk_widget_get_window(GTK_WIDGET(window.gobj()));
  if (!own) return frame;
  gdk_window_get_origin(own, &frame.x, &frame.y);
  frame.width = gdk_window_get_width(own);
  frame.height = gdk_window_get_height(own);
  return frame;
}

bool ShowAndWait(MainWindow& window) {
  window.show();
  return WaitUntil([&] {
    Frame frame = WindowFrame(window);
    return window.get_mapped() && frame.width == MainWindow::kStartWidth &&
           frame.height == MainWindow::kHeight;
  });
}

bool WaitForWidth(Gtk::Window& window, int width) {
  return WaitUntil([&] {
    return WindowFrame(window).width == width && window.get_allocated_width() == width;
  });
}

Gtk::Widget* FindByName(Gtk::Widget& root, const std::string& name) {
  if (root.get_name() == name) return &root;
  auto* container = dynamic_cast<Gtk::Container*>(&root);
  if (!container) return nullptr;
  for (Gtk::Widget* child : container->get_children()) {
    if (Gtk::Widget* found = FindByName(*child, name)) return found;
  }
  return nullptr;
}

GdkWindow* InputWindowOf(Gtk::Widget& widget) {
  GtkWidget* gtk = widget.gobj();
  GdkWindow* parent = gtk_widget_get_window(gtk);
  if (gtk_widget_get_has_window(gtk)) return parent;
  // Widgets without a window of their own (buttons) take input through an
  // input-only child window of their parent's window.
  for (GList* child = gdk_window_peek_children(parent); child; child = child->next) {
    gpointer owner = nullptr;
    gdk_window_get_user_data(GDK_WINDOW(child->data), &owner);
    if (owner == gtk) return GDK_WINDOW(child->data);
  }
  return parent;
}

void SendKey(Gtk::Window& window, guint keyval, guint state) {
  GdkDisplay* display = gdk_display_get_default();
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(window.gobj()));
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count);
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(target));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    event->key.state = state;
    if (count > 0) {
      event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
      event->key.group = static_cast<guint8>(keys[0].group);
    }
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
    QueueEvent(event);
  }
  g_free(keys);
}

void SendButton(GdkWindow* target, GdkEventType type, double x, double y, guint button) {
  GdkDisplay* display = gdk_display_get_default();
  GdkEvent* event = gdk_event_new(type);
  event->button.window = GDK_WINDOW(g_object_ref(target));
  event->button.send_event = TRUE;
  event->button.time = GDK_CURRENT_TIME;
  event->button.x = x;
  event->button.y = y;
  gint root_x = 0, root_y = 0;
  gdk_window_get_root_coords(target, static_cast<gint>(x), static_cast<gint>(y), &root_x,
                             &root_y);
  event->button.x_root = root_x;
  event->button.y_root = root_y;
  event->button.button = button;
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
  gdk_event_set_device(event, pointer);
  gdk_event_set_source_device(event, pointer);
  QueueEvent(event);
}

void SendClick(Gtk::Widget& widget) {
  GdkWindow* target = InputWindowOf(widget);
  // Coordinates are those of the receiving window; an input-only child
  // window covers the widget exactly.
  int x = widget.get_allocated_width() / 2;
  int y = widget.get_allocated_height() / 2;
  if (target == gtk_widget_get_window(widget.gobj()) && !widget.get_has_window()) {
    Gtk::Allocation allocation = widget.get_allocation();
    x += allocation.get_x();
    y += allocation.get_y();
  }
  SendButton(target, GDK_BUTTON_PRESS, x, y);
  SendButton(target, GDK_BUTTON_RELEASE, x, y);
}

namespace {

struct LoadState {
  bool finished = false;
  bool failed = false;
};

bool WaitForLoad(WebKitWebView* view, const std::function<void()>& start,
                 std::chrono::milliseconds limit) {
  LoadState state;
  gulong changed = g_signal_connect(
      view, "load-changed",
      G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        if (event == WEBKIT_LOAD_FINISHED) static_cast<LoadState*>(data)->finished = true;
      }),
      &state);
  gulong failed = g_signal_connect(
      view, "load-failed",
      G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer data) -> gboolean {
        static_cast<LoadState*>(data)->failed = true;
        return FALSE;
      }),
      &state);
  start();
  WaitUntil([&] { return state.finished; }, limit);
  g_signal_handler_disconnect(view, changed);
  g_signal_handler_disconnect(view, failed);
  return state.finished && !state.failed;
}

}  // namespace

bool LoadPage(WebKitWebView* view, const std::string& uri, std::chrono::milliseconds limit) {
  return WaitForLoad(view, [&] { webkit_web_view_load_uri(view, uri.c_str()); }, limit);
}

bool LoadHtml(WebKitWebView* view, const std::string& html, const std::string& base_uri,
              std::chrono::milliseconds limit) {
  return WaitForLoad(
      view, [&] { webkit_web_view_load_html(view, html.c_str(), base_uri.c_str()); }, limit);
}

std::string RunScript(WebKitWebView* view, const std::string& script) {
  struct Outcome {
    bool done = false;
    std::string value;
  } outcome;
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* out = static_cast<Outcome*>(data);
        JSCValue* value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
        if (value) {
          gchar* text = jsc_value_to_string(value);
          out->value = text ? text : "";
          g_free(text);
          g_object_unref(value);
        }
        out->done = true;
      },
      &outcome);
  WaitUntil([&] { return outcome.done; });
  return outcome.value;
}

void SaveScreenshot(Gtk::Window& window, const std::string& file) {
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  const int width = window.get_allocated_width();
  const int height = window.get_allocated_height();
  auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, width, height);
  auto context = Cairo::Context::create(surface);
  gtk_widget_draw(GTK_WIDGET(window.gobj()), context->cobj());
  surface->write_to_png(file);
}

}  // namespace morvellin::testing
