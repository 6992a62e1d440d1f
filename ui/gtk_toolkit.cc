#include "ui/gtk_toolkit.h"

#include <algorithm>

#include "lookup/charset.h"

namespace morvellin {
namespace {

constexpr int kProgressLimit = 32767;

std::string FileNameToUtf8(const std::string& file_name) {
  gchar* utf8 = g_filename_to_utf8(file_name.c_str(), -1, nullptr, nullptr, nullptr);
  std::string result = utf8 ? utf8 : "";
  g_free(utf8);
  return result;
}

std::string FileNameFromUtf8(const std::string& utf8) {
  gchar* name = g_filename_from_utf8(utf8.c_str(), -1, nullptr, nullptr, nullptr);
  std::string result = name ? name : "";
  g_free(name);
  return result;
}

}  // namespace

GtkToolkit::GtkToolkit(MainWindow& window) : window_(window) { ShowProgress(); }

Text GtkToolkit::GetText(Control edit_box) {
  Gtk::Widget* widget = window_.ControlWidget(edit_box);
  if (auto* entry = dynamic_cast<Gtk::Entry*>(widget)) return Utf8ToGbk(entry->get_text().raw());
  if (auto* box = dynamic_cast<MultiLineBox*>(widget)) {
    return Utf8ToGbk(box->view.get_buffer()->get_text(true).raw());
  }
  return {};
}

void GtkToolkit::SetText(Control edit_box, const Text& text) {
  Gtk::Widget* widget = window_.ControlWidget(edit_box);
  if (auto* entry = dynamic_cast<Gtk::Entry*>(widget)) entry->set_text(GbkToUtf8(text));
  if (auto* box = dynamic_cast<MultiLineBox*>(widget)) {
    box->view.get_buffer()->set_text(GbkToUtf8(text));
  }
}

void GtkToolkit::AppendText(Control edit_box, const Text& text) {
  Gtk::Widget* widget = window_.ControlWidget(edit_box);
  const std::string utf8 = GbkToUtf8(text);
  if (auto* entry = dynamic_cast<Gtk::Entry*>(widget)) {
    int end = entry->get_text_length();
    entry->set_position(end);
    entry->insert_text(utf8, -1, end);
    entry->set_position(-1);
  }
  if (auto* box = dynamic_cast<MultiLineBox*>(widget)) {
    Glib::RefPtr<Gtk::TextBuffer> buffer = box->view.get_buffer();
    buffer->place_cursor(buffer->end());
    buffer->insert_at_cursor(utf8);
    box->ScrollToCaret();
  }
}

Text GtkToolkit::GetCaption(Control label) {
  Gtk::Label* caption = window_.CaptionLabel(label);
  return caption ? Utf8ToGbk(caption->get_text().raw()) : Text();
}

void GtkToolkit::SetCaption(Control label, const Text& caption) {
  if (Gtk::Label* holder = window_.CaptionLabel(label)) holder->set_text(GbkToUtf8(caption));
}

Text GtkToolkit::GetWindowCaption() { return Utf8ToGbk(window_.get_title().raw()); }

void GtkToolkit::SetWindowCaption(const Text& caption) { window_.set_title(GbkToUtf8(caption)); }

void GtkToolkit::SetWindowWidth(int width) { window_.SetOuterWidth(width); }

void GtkToolkit::SetProgressMaximum(int maximum) {
  progress_maximum_ = std::clamp(maximum, 0, kProgressLimit);
  ShowProgress();
}

void GtkToolkit::SetProgressPosition(int position) {
  progress_position_ = std::clamp(position, 0, kProgressLimit);
  ShowProgress();
}

void GtkToolkit::ShowProgress() {
  const int shown = std::min(progress_position_, progress_maximum_);
  window_.进度条1.set_fraction(progress_maximum_ == 0 ? 0.0
                                                     : double(shown) / progress_maximum_);
}

bool GtkToolkit::ShowOpenDialog() {
  Gtk::FileChooserDialog dialog("打开", Gtk::FILE_CHOOSER_ACTION_OPEN);
  dialog.add_button("取消", Gtk::RESPONSE_CANCEL);
  dialog.add_button("打开", Gtk::RESPONSE_ACCEPT);
  dialog.set_default_response(Gtk::RESPONSE_ACCEPT);
  dialog.set_modal(true);
  dialog.set_local_only(true);
  if (window_.get_mapped()) dialog.set_transient_for(window_);

  // One filter, selected from the start; file names match without regard
  // to the case of the extension, as on the desktop this tool came from.
  Glib::RefPtr<Gtk::FileFilter> text_files = Gtk::FileFilter::create();
  text_files->set_name("文本（*.txt）");
  text_files->add_pattern("*.[Tt][Xx][Tt]");
  dialog.add_filter(text_files);
  dialog.set_filter(text_files);

  if (!dialog_file_name_.empty()) {
    const std::string start = FileNameFromUtf8(GbkToUtf8(dialog_file_name_));
    if (!start.empty()) dialog.set_filename(start);
  }

  while (dialog.run() == Gtk::RESPONSE_ACCEPT) {
    const std::string chosen = dialog.get_filename();
    if (!chosen.empty() && Glib::file_test(chosen, Glib::FILE_TEST_IS_REGULAR)) {
      dialog_file_name_ = Utf8ToGbk(FileNameToUtf8(chosen));
      return true;
    }
    // The chosen file must exist: say so and let the user choose again.
    Gtk::MessageDialog missing(dialog, "找不到该文件，请检查文件名是否正确。", false,
                               Gtk::MESSAGE_OTHER, Gtk::BUTTONS_NONE, true);
    missing.add_button("确定", Gtk::RESPONSE_OK);
    missing.set_title("打开");
    missing.run();
  }
  return false;
}

Text GtkToolkit::DialogFileName() { return dialog_file_name_; }

void GtkToolkit::ShowMessageBox(const Text& text, const Text& title) {
  Gtk::MessageDialog dialog(GbkToUtf8(text), false, Gtk::MESSAGE_OTHER, Gtk::BUTTONS_NONE,
                            true);
  dialog.add_button("确定", Gtk::RESPONSE_OK);
  dialog.set_title(GbkToUtf8(title));
  // Modal to the whole program either way; over the window when it is on
  // screen, centred on the screen before it is.
  if (window_.get_mapped()) {
    dialog.set_transient_for(window_);
    dialog.set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
  } else {
    dialog.set_position(Gtk::WIN_POS_CENTER);
  }
  dialog.run();
}

bool GtkToolkit::SetClipboardText(const Text& text) {
  // The text stays on offer while the program runs, and goes to a clipboard
  // manager, where one runs, when the program ends.
  Glib::RefPtr<Gtk::Clipboard> clipboard = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD);
  clipboard->set_text(GbkToUtf8(text));
  gtk_clipboard_set_can_store(clipboard->gobj(), nullptr, 0);  // every form
  clipboard->store();
  return true;
}

void GtkToolkit::OpenAddress(const Text& address) { window_.OpenAddress(GbkToUtf8(address)); }

bool GtkToolkit::Sleep(int milliseconds) { return window_.Sleep(milliseconds); }

}  // namespace morvellin
