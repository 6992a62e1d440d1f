// The window tests' main: before GTK starts, HOME and the XDG folders point
// into a scratch folder of this process, so that nothing of the user's (or of
// another test process) is read or written. GTK starts only when tests run,
// so listing them needs no display.
#include <glib.h>
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/window/window_test_support.h"

namespace {

class GtkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Inside the build folder: WebKit's helper processes may still write a
    // file or two there after the folder is removed at the end.
    std::filesystem::create_directories(MORVELLIN_SCRATCH_ROOT);
    std::string pattern = std::string(MORVELLIN_SCRATCH_ROOT) + "/run-XXXXXX";
    ASSERT_NE(g_mkdtemp(pattern.data()), nullptr);
    scratch_ = pattern;
    morvellin::testing::SetScratchFolder(scratch_);
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
      const std::string path = scratch_ + "/" + name;
      std::filesystem::create_directories(path);
      std::filesystem::permissions(path, std::filesystem::perms::owner_all);
      g_setenv(name, path.c_str(), TRUE);
    }
    g_setenv("NO_AT_BRIDGE", "1", TRUE);  // no accessibility bus here
    g_setenv("GSETTINGS_BACKEND", "memory", TRUE);  // nor a settings daemon

    ASSERT_NE(g_getenv("DISPLAY"), nullptr) << "the window tests need an X display";
    application_ = Gtk::Application::create("org.morvellin.WindowTests",
                                            Gio::APPLICATION_NON_UNIQUE);
    ASSERT_TRUE(application_->register_application()) << "GTK could not start";
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
  }

 private:
  std::string scratch_;
  Glib::RefPtr<Gtk::Application> application_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new GtkEnvironment);
  return RUN_ALL_TESTS();
}
