#include "tests/workflow/fake_toolkit.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "lookup/charset.h"

namespace morvellin {

namespace {

int ClampProgress(int value) { return std::clamp(value, 0, 32767); }

std::string Name(Control control) { return std::string(ControlName(control)); }

}  // namespace

void FakeToolkit::Log(std::string line) {
  if (keep_log) log.push_back(std::move(line));
}

Text FakeToolkit::GetText(Control edit_box) {
  Log("get " + Name(edit_box));
  return texts[edit_box];
}

void FakeToolkit::SetText(Control edit_box, const Text& text) {
  if (keep_log) Log("set " + Name(edit_box) + " " + GbkToUtf8(text));
  texts[edit_box] = text;
}

void FakeToolkit::AppendText(Control edit_box, const Text& text) {
  if (keep_log) Log("append " + Name(edit_box) + " " + GbkToUtf8(text));
  texts[edit_box] += text;
}

Text FakeToolkit::GetCaption(Control label) { return captions[label]; }

void FakeToolkit::SetCaption(Control label, const Text& caption) {
  if (keep_log) Log("caption " + Name(label) + " " + GbkToUtf8(caption));
  captions[label] = caption;
}

Text FakeToolkit::GetWindowCaption() { return window_caption; }

void FakeToolkit::SetWindowCaption(const Text& caption) {
  if (keep_log) Log("window caption " + GbkToUtf8(caption));
  window_caption = caption;
}

void FakeToolkit::SetWindowWidth(int width) {
  Log("width " + std::to_string(width));
  window_width = width;
}

void FakeToolkit::SetProgressMaximum(int maximum) {
  Log("maximum " + std::to_string(maximum));
  progress_maximum = ClampProgress(maximum);
}

void FakeToolkit::SetProgressPosition(int position) {
  Log("position " + std::to_string(position));
  progress_position = ClampProgress(position);
}

bool FakeToolkit::ShowOpenDialog() {
  std::optional<Text> answer;
  if (!dialog_answers.empty()) {
    answer = dialog_answers.front();
    dialog_answers.pop_front();
  }
  Log(answer ? "dialog ok" : "dialog cancel");
  if (!answer) return false;
  dialog_file_name = *answer;
  return true;
}

Text FakeToolkit::DialogFileName() { return dialog_file_name; }

void FakeToolkit::ShowMessageBox(const Text& text, const Text& title) {
  if (keep_log) Log("message " + GbkToUtf8(title) + " " + GbkToUtf8(text));
  message_boxes.push_back({text, title});
}

bool FakeToolkit::SetClipboardText(const Text& text) {
  if (!clipboard_available) {
    Log("clipboard refused");
    return false;
  }
  if (keep_log) Log("clipboard " + GbkToUtf8(text));
  clipboard = text;
  return true;
}

void FakeToolkit::OpenAddress(const Text& address) { Log("open " + address); }

bool FakeToolkit::Sleep(int milliseconds) {
  ++sleep_count;
  if (close_at_sleep > 0 && sleep_count >= close_at_sleep) {
    Log("sleep interrupted");
    return false;
  }
  Log("sleep " + std::to_string(milliseconds));
  sleep_milliseconds += std::max(milliseconds, 0);
  if (real_sleep) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(milliseconds, 0)));
  }
  return true;
}

}  // namespace morvellin
