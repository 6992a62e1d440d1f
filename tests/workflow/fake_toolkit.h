// An in-memory Toolkit for driving the workflow and the version check without
// a display.
//
// It keeps every control's text and caption, the progress bar with the
// toolkit's 0..32767 clamps, a scripted file-open dialog, the message boxes
// and the clipboard, and writes each call to a readable log (UTF-8) so that
// tests can check the order of effects. Sleep returns at once unless
// `real_sleep` is set, and reports the window closing from the
// `close_at_sleep`-th call on.
#ifndef MORVELLIN_TESTS_WORKFLOW_FAKE_TOOLKIT_H_
#define MORVELLIN_TESTS_WORKFLOW_FAKE_TOOLKIT_H_

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/toolkit.h"

namespace morvellin {

class FakeToolkit : public Toolkit {
 public:
  struct MessageBox {
    Text text;
    Text title;
    bool operator==(const MessageBox&) const = default;
  };

  Text GetText(Control edit_box) override;
  void SetText(Control edit_box, const Text& text) override;
  void AppendText(Control edit_box, const Text& text) override;
  Text GetCaption(Control label) override;
  void SetCaption(Control label, const Text& caption) override;
  Text GetWindowCaption() override;
  void SetWindowCaption(const Text& caption) override;
  void SetWindowWidth(int width) override;
  void SetProgressMaximum(int maximum) override;
  void SetProgressPosition(int position) override;
  bool ShowOpenDialog() override;
  Text DialogFileName() override;
  void ShowMessageBox(const Text& text, const Text& title) override;
  bool SetClipboardText(const Text& text) override;
  void OpenAddress(const Text& address) override;
  bool Sleep(int milliseconds) override;

  // Adds a line to the log, as the tests' lookup functions do.
  void Log(std::string line);

  // --- Scripted behaviour.
  // The answers of the next dialogs: a GBK path for OK, nullopt for cancel.
  // With no answer left the dialog is cancelled.
  std::deque<std::optional<Text>> dialog_answers;
  bool clipboard_available = true;
  int close_at_sleep = 0;     // 0: the window never closes
  bool real_sleep = false;
  bool keep_log = true;       // off for runs with very many entries

  // --- What the window holds (GBK).
  std::map<Control, Text> texts;
  std::map<Control, Text> captions;
  Text window_caption = "Morvellin";
  int window_width = 552;
  int progress_maximum = 100;
  int progress_position = 0;
  Text dialog_file_name;
  std::optional<Text> clipboard;  // nullopt: nothing was ever put there

  // --- What happened.
  std::vector<std::string> log;
  std::vector<MessageBox> message_boxes;
  int sleep_count = 0;
  int sleep_milliseconds = 0;  // sum of the pauses asked for
};

}  // namespace morvellin

#endif  // MORVELLIN_TESTS_WORKFLOW_FAKE_TOOLKIT_H_
