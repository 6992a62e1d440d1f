// morvellin: the desktop program. Opens the main window and runs until it is
// closed.
#include <gtkmm.h>

#include <memory>

#include "ui/main_window.h"

int main(int argc, char** argv) {
  auto application =
      Gtk::Application::create("org.morvellin.Morvellin", Gio::APPLICATION_NON_UNIQUE);
  std::unique_ptr<morvellin::MainWindow> window;
  application->signal_activate().connect([&] {
    window = std::make_unique<morvellin::MainWindow>();
    application->add_window(*window);
    window->show();
  });
  return application->run(argc, argv);
}
