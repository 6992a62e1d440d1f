// The work behind the main window's five action buttons: importing a nickname
// file, the batch lookup, the single lookup, copying the results and emptying
// the boxes.
//
// A NicknameWorkflow owns the program's nickname list and its count; it is
// made empty before the window is loaded and released with the program. It
// touches the window only through the Toolkit it is given, and the lookup
// engine only through the lookup function, which the window supplies.
#ifndef MORVELLIN_UI_NICKNAME_WORKFLOW_H_
#define MORVELLIN_UI_NICKNAME_WORKFLOW_H_

#include <functional>
#include <vector>

#include "lookup/text.h"
#include "ui/toolkit.h"

namespace morvellin {

// The pause after every entry of a batch run.
inline constexpr int kPauseAfterLookupMilliseconds = 200;

class NicknameWorkflow {
 public:
  // Nickname in, buyer ID out (empty when none was found). The window's
  // function keeps the window painting while the lookup runs and gives an
  // empty Text once the window is being closed.
  using LookupFunction = std::function<Text(const Text& nickname)>;

  // Starts with an empty list and a count of 0. `toolkit` must outlive this.
  NicknameWorkflow(Toolkit& toolkit, LookupFunction lookup);

  NicknameWorkflow(const NicknameWorkflow&) = delete;
  NicknameWorkflow& operator=(const NicknameWorkflow&) = delete;

  // The click handlers. While a batch run or a single lookup is under way
  // (the window keeps painting meanwhile), a further click does nothing.

  // 按钮2: asks for a file, shows its text in 编辑框3, lists its lines and
  // shows their number in 标签5. A cancelled dialog reads the file confirmed
  // last time again, or imports nothing when there was none.
  void ImportNicknameFile();
  // 按钮1: looks up every listed nickname in turn, appends one line per entry
  // to 编辑框4, moves 进度条1 and pauses 200 ms after each; stops at once when
  // the window is being closed.
  void RunBatchLookup();
  // 按钮3: looks up the nickname in 编辑框1 and shows the result in 编辑框2.
  void LookupSingleNickname();
  // 按钮5: puts the whole text of 编辑框4 on the clipboard and confirms.
  void CopyResults();
  // 按钮6: empties 编辑框1 to 编辑框4; the list stays.
  void ClearBoxes();

  // One entry per line of the last imported file, in file order.
  const std::vector<Text>& NicknameList() const { return nickname_list_; }
  // The number of entries the last import produced; 0 before any import.
  int NicknameCount() const { return nickname_count_; }

 private:
  void ReplaceList(std::vector<Text> entries);

  Toolkit& toolkit_;
  LookupFunction lookup_;
  std::vector<Text> nickname_list_;
  int nickname_count_ = 0;
  bool busy_ = false;  // a batch run or a single lookup is under way
};

// The bytes of the file at `path` (a GBK path, as the dialog gives it),
// opened for reading only. Empty when the path is empty, names no regular file
// (a folder, a pipe, a device), or the file cannot be opened or read.
Bytes ReadNicknameFile(const Text& path);

// "nickname ID" and CR LF: the line a batch run appends for one entry.
Text ResultLine(const Text& nickname, const Text& member_id);

}  // namespace morvellin

#endif  // MORVELLIN_UI_NICKNAME_WORKFLOW_H_
