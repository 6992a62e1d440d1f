#include "ui/nickname_workflow.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>

#include "lookup/charset.h"
#include "lookup/nickname_text.h"
#include "lookup/split.h"

namespace morvellin {

namespace {

constexpr std::string_view kCopyDoneMessage = "复制成功！请粘贴到您新建的TXT文本里！";
constexpr std::string_view kCopyDoneTitle = "复制完成！";

// Marks the workflow busy for the life of a handler that waits on a lookup.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

}  // namespace

Bytes ReadNicknameFile(const Text& path) {
  if (path.empty()) return {};
  // The dialog hands over GBK; the file system names files in UTF-8.
  const std::filesystem::path file_path(GbkToUtf8(path));
  // Only a regular file: a pipe or a device could hold the window for ever.
  std::error_code error;
  if (!std::filesystem::is_regular_file(file_path, error)) return {};
  std::ifstream file(file_path, std::ios::binary);
  if (!file) return {};
  Bytes bytes;
  char buffer[64 * 1024];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    bytes.append(buffer, static_cast<size_t>(file.gcount()));
  }
  if (file.bad()) return {};  // a read error part-way
  return bytes;
}

Text ResultLine(const Text& nickname, const Text& member_id) {
  Text line;
  line.reserve(nickname.size() + member_id.size() + 3);
  line += nickname;
  line += ' ';
  line += member_id;
  line += "\r\n";
  return line;
}

NicknameWorkflow::NicknameWorkflow(Toolkit& toolkit, LookupFunction lookup)
    : toolkit_(toolkit), lookup_(std::move(lookup)) {}

void NicknameWorkflow::ImportNicknameFile() {
  if (busy_) return;
  // Whether the user confirmed or cancelled does not matter: a cancel leaves
  // the name confirmed last time, which is then read again.
  toolkit_.ShowOpenDialog();
  toolkit_.SetText(Control::编辑框3,
                   NicknameTextFromFile(ReadNicknameFile(toolkit_.DialogFileName())));
  // The list follows what the box holds, which is what the user sees.
  ReplaceList(SplitAtCrLf(toolkit_.GetText(Control::编辑框3)));
}

void NicknameWorkflow::ReplaceList(std::vector<Text> entries) {
  nickname_list_ = std::move(entries);
  const int count =
      static_cast<int>(std::min<size_t>(nickname_list_.size(), INT_MAX));
  toolkit_.SetCaption(Control::标签5, std::to_string(count));
  nickname_count_ = count;
}

void NicknameWorkflow::RunBatchLookup() {
  if (busy_) return;
  BusyScope busy(busy_);
  toolkit_.SetProgressMaximum(nickname_count_);
  int k = 0;
  for (const Text& entry : nickname_list_) {
    ++k;
    const Text member_id = lookup_(entry);
    toolkit_.AppendText(Control::编辑框4, ResultLine(entry, member_id));
    toolkit_.SetProgressPosition(k);
    if (!toolkit_.Sleep(kPauseAfterLookupMilliseconds)) return;
  }
}

void NicknameWorkflow::LookupSingleNickname() {
  if (busy_) return;
  BusyScope busy(busy_);
  const Text nickname = toolkit_.GetText(Control::编辑框1);
  const Text member_id = lookup_(nickname);
  toolkit_.SetText(Control::编辑框2, member_id);
}

void NicknameWorkflow::CopyResults() {
  if (busy_) return;
  // The confirmation follows every copy, also one the clipboard refused.
  toolkit_.SetClipboardText(toolkit_.GetText(Control::编辑框4));
  toolkit_.ShowMessageBox(Utf8ToGbk(kCopyDoneMessage), Utf8ToGbk(kCopyDoneTitle));
}

void NicknameWorkflow::ClearBoxes() {
  if (busy_) return;
  for (Control box : {Control::编辑框1, Control::编辑框2, Control::编辑框3, Control::编辑框4}) {
    toolkit_.SetText(box, Text());
  }
}

}  // namespace morvellin
