// A fresh temporary folder for one test, removed with everything in it when
// the test ends; files are written into it byte for byte.
#ifndef MORVELLIN_TESTS_WORKFLOW_TEMP_DIR_H_
#define MORVELLIN_TESTS_WORKFLOW_TEMP_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morvellin {

class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "morvellin-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

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

}  // namespace morvellin

#endif  // MORVELLIN_TESTS_WORKFLOW_TEMP_DIR_H_
