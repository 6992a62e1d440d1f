// The window-system operations that the batch workflow and start-up use.
//
// The GTK main window implements it; tests run the same logic against an
// in-memory stand-in. Every text crossing this interface is GBK; the GTK
// implementation converts to and from UTF-8 at its edge. All calls are made
// on the UI thread.
#ifndef MORVELLIN_UI_TOOLKIT_H_
#define MORVELLIN_UI_TOOLKIT_H_

#include "lookup/text.h"
#include "ui/control.h"

namespace morvellin {

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Whole text of an edit box, its lines joined by CR LF.
  virtual Text GetText(Control edit_box) = 0;
  virtual void SetText(Control edit_box, const Text& text) = 0;
  // Puts the caret after the last character, scrolls it into view and
  // inserts `text` there, without an undo record.
  virtual void AppendText(Control edit_box, const Text& text) = 0;

  virtual Text GetCaption(Control label) = 0;
  virtual void SetCaption(Control label, const Text& caption) = 0;
  virtual Text GetWindowCaption() = 0;
  virtual void SetWindowCaption(const Text& caption) = 0;

  // Outer width of the main window; left and top edges and height stay.
  virtual void SetWindowWidth(int width) = 0;

  // Both clamped to 0..32767; the bar shows the position clamped into
  // 0..maximum.
  virtual void SetProgressMaximum(int maximum) = 0;
  virtual void SetProgressPosition(int position) = 0;

  // The modal file-open dialog of 通用对话框1 (filter "文本（*.txt）|*.txt",
  // file-name field starting with DialogFileName()). OK gives true and sets
  // DialogFileName() to the chosen file's full path; cancel gives false and
  // leaves it unchanged.
  virtual bool ShowOpenDialog() = 0;
  virtual Text DialogFileName() = 0;

  // A modal message box with one OK button and no icon; returns when closed.
  virtual void ShowMessageBox(const Text& text, const Text& title) = 0;

  // Empties the clipboard and gives it `text`; false when the clipboard could
  // not be taken, which leaves it as it was.
  virtual bool SetClipboardText(const Text& text) = 0;

  // Opens `address` in the system's browser; the outcome is not reported.
  virtual void OpenAddress(const Text& address) = 0;

  // Waits `milliseconds` (negative counts as 0). The window keeps painting and
  // takes no input meanwhile. Returns false, at once, when the window is being
  // closed: a long-running handler then stops.
  virtual bool Sleep(int milliseconds) = 0;
};

}  // namespace morvellin

#endif  // MORVELLIN_UI_TOOLKIT_H_
