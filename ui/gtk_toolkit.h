// GtkToolkit: the Toolkit over the GTK main window. Texts cross in GBK and
// are converted to and from GTK's UTF-8 here. Edit boxes hold their text's
// line ends exactly as given (CR LF stays CR LF, a lone LF stays LF) and
// Enter in a multi-line box types CR LF, so a box's whole text is its lines
// joined by CR LF. The toolkit keeps the file-open dialog's file name and the
// progress bar's range; the window outlives it.
#ifndef MORVELLIN_UI_GTK_TOOLKIT_H_
#define MORVELLIN_UI_GTK_TOOLKIT_H_

#include "ui/main_window.h"
#include "ui/toolkit.h"

namespace morvellin {

class GtkToolkit : public Toolkit {
 public:
  explicit GtkToolkit(MainWindow& window);

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

 private:
  void ShowProgress();

  MainWindow& window_;
  Text dialog_file_name_;
  int progress_maximum_ = 100;
  int progress_position_ = 0;
};

}  // namespace morvellin

#endif  // MORVELLIN_UI_GTK_TOOLKIT_H_
