// The program: the main window with its toolkit and the nickname workflow
// wired to its buttons, and the entry sequence that runs it.
//
// A Program owns the window, the toolkit over it and the workflow (which owns
// the nickname list); they are made in that order and released in reverse,
// so the list goes when the program ends.
#ifndef MORVELLIN_UI_PROGRAM_H_
#define MORVELLIN_UI_PROGRAM_H_

#include <functional>
#include <string>
#include <vector>

#include "lookup/text.h"
#include "ui/gtk_toolkit.h"
#include "ui/main_window.h"
#include "ui/nickname_workflow.h"

namespace morvellin {

class Program {
 public:
  // Builds the window (the browser pane starts loading) and connects the
  // buttons to the workflow. Nothing is shown yet.
  explicit Program(MainWindowOptions options = {});

  // The window's created event: the published-version check (which may show
  // the upgrade notice), then the window is shown.
  void Start();

  MainWindow& window() { return window_; }
  GtkToolkit& toolkit() { return toolkit_; }
  NicknameWorkflow& workflow() { return workflow_; }

  // Reads the published version text; tests replace it.
  std::function<Bytes()> read_published_version;

 private:
  std::vector<std::string> connect_to_;  // the window's test routing, for the version check too
  MainWindow window_;
  GtkToolkit toolkit_;
  NicknameWorkflow workflow_;
};

// The entry sequence: builds the program, runs the version check, shows the
// window and runs the main loop until the window is closed. Returns the
// process's exit status.
int RunProgram(int argc, char** argv);

}  // namespace morvellin

#endif  // MORVELLIN_UI_PROGRAM_H_
