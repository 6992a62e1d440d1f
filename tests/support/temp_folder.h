// TempFolder: a fresh folder under /tmp for one test, removed with everything
// in it when the test ends; plus whole-file read and write helpers.
#ifndef MORVELLIN_TESTS_SUPPORT_TEMP_FOLDER_H_
#define MORVELLIN_TESTS_SUPPORT_TEMP_FOLDER_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morvellin::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "morvellin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The path of `name` inside the folder.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` to the file `name` (UTF-8) in the folder; returns its path.
  std::string WriteFile(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path file = path_ / std::string(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace morvellin::testing

#endif  // MORVELLIN_TESTS_SUPPORT_TEMP_FOLDER_H_
