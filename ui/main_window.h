// MainWindow: the program's one window. Every control of the layout sits at
// its fixed place and size in a Gtk::Layout; the login panel with the browser
// pane lies right of the narrow client area until 按钮4 widens the window.
// Button handlers run in a busy state in which the window drops input and a
// close request waits for the handler to end.
//
// The window owns its controls, the browser pane and the bridge between the
// pane's cookies and the shared CookieStore. Everything here runs on the UI
// thread; only LookUp's fetch runs on a worker thread of its own.
#ifndef MORVELLIN_UI_MAIN_WINDOW_H_
#define MORVELLIN_UI_MAIN_WINDOW_H_

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "lookup/cookie_store.h"
#include "lookup/page_fetch.h"
#include "lookup/text.h"
#include "ui/control.h"

namespace morvellin {

class CookieBridge;

struct MainWindowOptions {
  // The store shared with the lookups; it must outlive the window. Null: the
  // window keeps a store of its own.
  CookieStore* cookies = nullptr;
  // What lookups run with besides the store and the cancel flag (time-outs,
  // and in tests connect_to aiming them at loopback).
  FetchOptions fetch;
  // The browser pane starts loading the Taobao login page while the window is
  // built. Tests turn it off and load pages of their own.
  bool load_login_page = true;
  // Where the pane keeps its website data and cookie database, and its cache.
  // Empty: <XDG data home>/morvellin and <XDG cache home>/morvellin.
  std::string data_directory;
  std::string cache_directory;
  // An HTTP proxy for the pane ("http://127.0.0.1:8080"); empty follows the
  // system's settings. Tests only.
  std::string proxy_address;
  // Opens a UTF-8 address in the system's browser. Empty: GTK's default
  // handler for the address's scheme. Tests put a recorder here.
  std::function<void(const std::string& address)> open_address;
};

// A label of the layout: its caption on one line, left, centred vertically in
// the box the layout gives it, even where the font's line is a pixel taller
// than the box.
class Caption : public Gtk::Label {
 protected:
  void get_preferred_height_vfunc(int& minimum, int& natural) const override;
};

// A multi-line edit box: a text view in a frame without visible scroll bars,
// wrapping at the box's width. Enter types CR LF, so that the box's text
// keeps the line ends of the system it came from; text put in keeps its own.
class MultiLineBox : public Gtk::ScrolledWindow {
 public:
  MultiLineBox();
  Gtk::TextView view;

  // Scrolls the caret into view, now and once more when GTK has measured
  // the lines that were just added.
  void ScrollToCaret();

 private:
  bool OnKeyPress(GdkEventKey* event);
  void ScrollToCaretLater();

  bool scroll_pending_ = false;
};

// A label that answers the release of the left mouse button over it, when the
// button was also pressed over it.
class LinkLabel : public Gtk::EventBox {
 public:
  LinkLabel();
  Caption label;
  std::function<void()> on_release;

 protected:
  bool on_button_press_event(GdkEventButton* event) override;
  bool on_button_release_event(GdkEventButton* event) override;

 private:
  bool pressed_ = false;
};

class MainWindow : public Gtk::Window {
 public:
  // Outer sizes as GTK sets them (the window manager's frame comes on top).
  static constexpr int kStartWidth = 552;
  static constexpr int kHeight = 537;
  static constexpr int kWideWidth = 965;     // ShowLoginPanel
  static constexpr int kNarrowWidth = 559;   // HideLoginPanel

  // Builds every control, starts the pane's first load and connects the
  // window's own handlers (按钮4, 按钮7, 标签11). The window is not shown.
  explicit MainWindow(MainWindowOptions options = {});
  ~MainWindow() override;

  // The controls, by the names of the layout; each widget's name is its
  // control's name. 通用对话框1 has no widget: GtkToolkit makes the dialog.
  Gtk::Button 按钮1, 按钮2, 按钮3, 按钮4, 按钮5, 按钮6, 按钮7;
  Gtk::Entry 编辑框1, 编辑框2;
  MultiLineBox 编辑框3, 编辑框4;
  Caption 标签1, 标签2, 标签3, 标签4, 标签5, 标签6, 标签7, 标签8, 标签9, 标签10, 标签12;
  LinkLabel 标签11;
  Gtk::ProgressBar 进度条1;
  Gtk::Image 图片框1;
  Gtk::Widget* 超文本浏览框1 = nullptr;  // wraps web_view(); owned by the window

  // The control's widget; null for 通用对话框1.
  Gtk::Widget* ControlWidget(Control control);
  // The caption holder of a label or button; null for other controls.
  Gtk::Label* CaptionLabel(Control control);

  WebKitWebView* web_view() const { return web_view_; }
  CookieStore& cookies() { return *cookies_; }
  CookieBridge& cookie_bridge() { return *bridge_; }

  // The window's own handlers.
  void ShowLoginPanel();   // 按钮4
  void HideLoginPanel();   // 按钮7
  void OpenMakerWebsite(); // release over 标签11

  // Makes the window `width` wide; left and top edges and height stay.
  void SetOuterWidth(int width);
  // Opens a UTF-8 address in the system's browser; failures are not reported.
  void OpenAddress(const std::string& address);

  // Connects `handler` to the click of `button`. While a handler connected
  // here runs (and during Sleep and LookUp), input to this window is dropped,
  // not queued, while other windows such as dialogs still get theirs; a close
  // request meanwhile sets closing() and the cancel flag, and the window
  // closes as soon as the handler has returned.
  void OnClicked(Control button, std::function<void()> handler);

  bool busy() const { return busy_depth_ > 0; }
  // True from the first close request on.
  bool closing() const { return closing_; }
  // Raised with closing(); fetches running for the window end at once.
  const std::atomic<bool>& cancel_flag() const { return cancel_; }

  // Waits `milliseconds` (negative counts as 0) while the window keeps
  // painting and drops input. False, at once, when the window is closing.
  bool Sleep(int milliseconds);

  // Looks `nickname` up with LookupMemberId under the pane's cookies: takes a
  // fresh snapshot of the pane into the store, fetches on a worker thread
  // while the main loop runs, and returns once the response's cookies have
  // reached the pane. Empty when the window is closing.
  Text LookUp(const Text& nickname);

 protected:
  bool on_key_press_event(GdkEventKey* event) override;
  bool on_delete_event(GdkEventAny* event) override;

 private:
  class BusyScope;
  static void FilterEvent(GdkEvent* event, gpointer window);

  void BuildControls();
  void ApplyStyle();
  void RunHandler(const std::function<void()>& handler);

  MainWindowOptions options_;
  std::unique_ptr<CookieStore> own_cookies_;
  CookieStore* cookies_ = nullptr;
  Gtk::Layout layout_;
  Glib::RefPtr<Gtk::CssProvider> style_;
  WebKitWebView* web_view_ = nullptr;
  std::unique_ptr<CookieBridge> bridge_;
  int busy_depth_ = 0;
  bool closing_ = false;
  bool close_pending_ = false;
  std::atomic<bool> cancel_{false};
};

}  // namespace morvellin

#endif  // MORVELLIN_UI_MAIN_WINDOW_H_
