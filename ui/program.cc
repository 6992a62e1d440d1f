#include "ui/program.h"

#include <gtkmm.h>

#include <memory>
#include <utility>

#include "lookup/memory_policy.h"
#include "ui/version_check.h"

namespace morvellin {

Program::Program(MainWindowOptions options)
    : connect_to_(options.fetch.connect_to),
      window_(std::move(options)),
      toolkit_(window_),
      workflow_(toolkit_, [this](const Text& nickname) { return window_.LookUp(nickname); }) {
  read_published_version = [this] {
    FetchOptions fetch = PublishedVersionOptions(&window_.cookies());
    fetch.connect_to = connect_to_;
    return ReadPublishedVersion(fetch);
  };
  window_.OnClicked(Control::按钮2, [this] { workflow_.ImportNicknameFile(); });
  window_.OnClicked(Control::按钮1, [this] { workflow_.RunBatchLookup(); });
  window_.OnClicked(Control::按钮3, [this] { workflow_.LookupSingleNickname(); });
  window_.OnClicked(Control::按钮5, [this] { workflow_.CopyResults(); });
  window_.OnClicked(Control::按钮6, [this] { workflow_.ClearBoxes(); });
}

void Program::Start() {
  CheckPublishedVersion(toolkit_, read_published_version);
  window_.show();
}

int RunProgram(int argc, char** argv) {
  KeepFreedMemoryForLookups();
  auto application =
      Gtk::Application::create("org.morvellin.Morvellin", Gio::APPLICATION_NON_UNIQUE);
  std::unique_ptr<Program> program;
  application->signal_activate().connect([&] {
    program = std::make_unique<Program>();
    application->add_window(program->window());
    program->Start();
  });
  const int status = application->run(argc, argv);
  program.reset();
  return status;
}

}  // namespace morvellin
