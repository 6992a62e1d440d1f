// The five button handlers against the in-memory toolkit, with real files for
// the imports and a scripted lookup.
#include "ui/nickname_workflow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lookup/charset.h"
#include "tests/workflow/fake_toolkit.h"
#include "tests/support/temp_folder.h"

namespace morvellin {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// GBK from a UTF-8 literal.
Text G(std::string_view utf8) { return Utf8ToGbk(utf8); }

class NicknameWorkflowTest : public ::testing::Test {
 protected:
  // Logs each lookup and answers from `ids`, empty for an unknown nickname.
  Text Lookup(const Text& nickname) {
    ++lookups;
    position_at_lookup.push_back(toolkit.progress_position);
    if (toolkit.keep_log) toolkit.Log("lookup " + GbkToUtf8(nickname));
    auto found = ids.find(nickname);
    return found == ids.end() ? Text() : found->second;
  }

  // Confirms `path` (UTF-8) in the dialog and imports it.
  void Import(const std::string& path) {
    toolkit.dialog_answers.push_back(G(path));
    workflow.ImportNicknameFile();
  }

  void ImportText(std::string_view bytes) {
    Import(dir.WriteFile("names.txt", bytes));
  }

  void ExpectEmptyImport() {
    EXPECT_EQ(toolkit.texts[Control::编辑框3], "");
    EXPECT_THAT(workflow.NicknameList(), IsEmpty());
    EXPECT_EQ(toolkit.captions[Control::标签5], "0");
    EXPECT_EQ(workflow.NicknameCount(), 0);
  }

  testing::TempFolder dir;
  FakeToolkit toolkit;
  std::map<Text, Text> ids = {{G("甲"), "1001"}, {"b", "1002"}, {"c", "1003"}};
  int lookups = 0;
  std::vector<int> position_at_lookup;  // the bar's position as each lookup starts
  NicknameWorkflow workflow{toolkit, [this](const Text& nickname) { return Lookup(nickname); }};
  const Text kJiaBC = G("甲") + "\r\nb\r\nc\r\n";
};

// --- Import.

struct ImportCase {
  const char* name;
  std::string file;               // the file's bytes
  std::string box;                // 编辑框3 afterwards, UTF-8
  std::vector<std::string> list;  // NicknameList afterwards, UTF-8
};

class ImportTest : public NicknameWorkflowTest,
                   public ::testing::WithParamInterface<ImportCase> {};

TEST_P(ImportTest, ShowsFileAndListsItsLines) {
  const ImportCase& c = GetParam();
  ImportText(c.file);

  EXPECT_EQ(GbkToUtf8(toolkit.texts[Control::编辑框3]), c.box);
  std::vector<std::string> list;
  for (const Text& entry : workflow.NicknameList()) list.push_back(GbkToUtf8(entry));
  EXPECT_EQ(list, c.list);
  EXPECT_EQ(toolkit.captions[Control::标签5], std::to_string(c.list.size()));
  EXPECT_EQ(workflow.NicknameCount(), static_cast<int>(c.list.size()));
  EXPECT_THAT(toolkit.message_boxes, IsEmpty());
}

const std::string kGbkJia = Utf8ToGbk("甲");

INSTANTIATE_TEST_SUITE_P(
    Files, ImportTest,
    ::testing::Values(
        ImportCase{"GbkLines", kGbkJia + "\r\nb\r\nc\r\n", "甲\r\nb\r\nc\r\n", {"甲", "b", "c"}},
        ImportCase{"NoFinalLineBreak", kGbkJia + "\r\nb\r\nc", "甲\r\nb\r\nc", {"甲", "b", "c"}},
        ImportCase{"EmptyLastLine", kGbkJia + "\r\nb\r\nc\r\n\r\n", "甲\r\nb\r\nc\r\n\r\n",
                   {"甲", "b", "c", ""}},
        ImportCase{"NoTrimmingEmptyEntriesKept", " a \r\n\r\nb", " a \r\n\r\nb", {" a ", "", "b"}},
        // Files saved on this platform end their lines with LF alone.
        ImportCase{"LfOnly", kGbkJia + "\nb\nc\n", "甲\r\nb\r\nc\r\n", {"甲", "b", "c"}},
        ImportCase{"CutAtZeroByte", kGbkJia + "\r\nb\r\n" + std::string(1, '\0') + "c\r\n",
                   "甲\r\nb\r\n", {"甲", "b"}},
        ImportCase{"CutAtEndOfFileMark", kGbkJia + "\r\nb\r\n\x1A" + "c\r\n", "甲\r\nb\r\n",
                   {"甲", "b"}},
        ImportCase{"Utf8", "甲\r\n乙\r\n", "甲\r\n乙\r\n", {"甲", "乙"}},
        ImportCase{"Utf8WithByteOrderMark", "\xEF\xBB\xBF甲\nb\n", "甲\r\nb\r\n", {"甲", "b"}},
        ImportCase{"EmptyFile", "", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NicknameWorkflowTest, ImportOrderOfEffects) {
  const std::string path = dir.WriteFile("names.txt", kJiaBC);
  Import(path);
  EXPECT_THAT(toolkit.log, ElementsAre("dialog ok", "set 编辑框3 甲\r\nb\r\nc\r\n",
                                       "get 编辑框3", "caption 标签5 3"));
  EXPECT_EQ(toolkit.dialog_file_name, G(path));
}

TEST_F(NicknameWorkflowTest, ImportsFileWithChineseName) {
  const std::filesystem::path folder = dir.path() / "客户";
  std::filesystem::create_directory(folder);
  Import(dir.WriteFile("客户/旺旺名单.txt", kJiaBC));
  EXPECT_THAT(workflow.NicknameList(), ElementsAre(G("甲"), "b", "c"));
}

TEST_F(NicknameWorkflowTest, ReadOnlyFileImports) {
  const std::string path = dir.WriteFile("names.txt", kJiaBC);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  Import(path);
  EXPECT_THAT(workflow.NicknameList(), ElementsAre(G("甲"), "b", "c"));
  EXPECT_EQ(toolkit.captions[Control::标签5], "3");
}

// A file that cannot be read imports as empty and replaces the earlier list,
// without a message.
TEST_F(NicknameWorkflowTest, UnreadableFileEmptiesList) {
  const std::string unreadable = dir.WriteFile("locked.txt", kJiaBC);
  ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);
  const std::string pipe = (dir.path() / "pipe.txt").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);  // reading it would wait for ever
  std::vector<std::string> paths = {(dir.path() / "missing.txt").string(),
                                    dir.path().string() /* a folder */, pipe};
  if (geteuid() != 0) paths.push_back(unreadable);  // root reads it all the same

  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ImportText(kJiaBC);
    ASSERT_EQ(workflow.NicknameCount(), 3);
    Import(path);
    ExpectEmptyImport();
  }
  EXPECT_THAT(toolkit.message_boxes, IsEmpty());
}

TEST_F(NicknameWorkflowTest, CancelledFirstDialogImportsNothing) {
  toolkit.texts[Control::编辑框3] = "typed";
  workflow.ImportNicknameFile();  // no answer scripted: cancelled
  ExpectEmptyImport();
  EXPECT_EQ(toolkit.dialog_file_name, "");
  EXPECT_THAT(toolkit.message_boxes, IsEmpty());
}

TEST_F(NicknameWorkflowTest, CancelledLaterDialogReadsSameFileAgain) {
  const std::string path = dir.WriteFile("names.txt", kJiaBC);
  Import(path);
  dir.WriteFile("names.txt", "x\r\ny\r\n");  // changed since

  toolkit.dialog_answers.push_back(std::nullopt);
  workflow.ImportNicknameFile();

  EXPECT_EQ(toolkit.dialog_file_name, G(path));
  EXPECT_EQ(toolkit.texts[Control::编辑框3], "x\r\ny\r\n");
  EXPECT_THAT(workflow.NicknameList(), ElementsAre("x", "y"));
  EXPECT_EQ(toolkit.captions[Control::标签5], "2");
}

// --- Batch run.

TEST_F(NicknameWorkflowTest, RunAppendsOneLinePerEntryWithProgressAndPause) {
  ImportText(kJiaBC);
  toolkit.log.clear();
  toolkit.progress_position = 2;  // left from an earlier run; not reset

  workflow.RunBatchLookup();

  EXPECT_THAT(toolkit.log,
              ElementsAre("maximum 3",
                          "lookup 甲", "append 编辑框4 甲 1001\r\n", "position 1", "sleep 200",
                          "lookup b", "append 编辑框4 b 1002\r\n", "position 2", "sleep 200",
                          "lookup c", "append 编辑框4 c 1003\r\n", "position 3", "sleep 200"));
  EXPECT_EQ(toolkit.texts[Control::编辑框4], G("甲") + " 1001\r\nb 1002\r\nc 1003\r\n");
  EXPECT_EQ(toolkit.progress_maximum, 3);
  EXPECT_EQ(toolkit.progress_position, 3);
  // The run changes neither the list nor the count.
  EXPECT_THAT(workflow.NicknameList(), ElementsAre(G("甲"), "b", "c"));
  EXPECT_EQ(workflow.NicknameCount(), 3);
}

TEST_F(NicknameWorkflowTest, EntriesWithoutIdAndEmptyEntriesGetTheirLine) {
  ImportText(G("甲") + "\r\nnobody\r\n\r\n");
  workflow.RunBatchLookup();
  EXPECT_EQ(lookups, 3);
  EXPECT_EQ(toolkit.texts[Control::编辑框4], G("甲") + " 1001\r\nnobody \r\n \r\n");
}

TEST_F(NicknameWorkflowTest, RunBeforeAnyImportOnlySetsMaximum) {
  workflow.RunBatchLookup();
  EXPECT_THAT(toolkit.log, ElementsAre("maximum 0"));
  EXPECT_EQ(toolkit.progress_maximum, 0);
}

TEST_F(NicknameWorkflowTest, SecondRunAppendsAfterFirst) {
  ImportText("b\r\nc");
  workflow.RunBatchLookup();
  workflow.RunBatchLookup();
  EXPECT_EQ(toolkit.texts[Control::编辑框4], "b 1002\r\nc 1003\r\nb 1002\r\nc 1003\r\n");
  EXPECT_EQ(lookups, 4);
}

TEST_F(NicknameWorkflowTest, ClearKeepsListForNextRun) {
  ImportText(kJiaBC);
  toolkit.texts[Control::编辑框1] = "one";
  toolkit.texts[Control::编辑框2] = "two";
  toolkit.texts[Control::编辑框4] = "old results";
  toolkit.log.clear();

  workflow.ClearBoxes();
  EXPECT_THAT(toolkit.log, ElementsAre("set 编辑框1 ", "set 编辑框2 ", "set 编辑框3 ",
                                       "set 编辑框4 "));
  EXPECT_EQ(toolkit.captions[Control::标签5], "3");
  EXPECT_EQ(workflow.NicknameCount(), 3);

  workflow.RunBatchLookup();
  EXPECT_EQ(toolkit.texts[Control::编辑框3], "");
  EXPECT_EQ(toolkit.texts[Control::编辑框4], G("甲") + " 1001\r\nb 1002\r\nc 1003\r\n");
}

// Closing the window during a run: the pause under way reports it and no
// further entry is looked up.
TEST_F(NicknameWorkflowTest, RunStopsWhenWindowCloses) {
  ImportText(kJiaBC);
  toolkit.close_at_sleep = 2;
  workflow.RunBatchLookup();
  EXPECT_EQ(lookups, 2);
  EXPECT_EQ(toolkit.texts[Control::编辑框4], G("甲") + " 1001\r\nb 1002\r\n");
  EXPECT_EQ(toolkit.log.back(), "sleep interrupted");
}

// The window keeps painting during a lookup; clicks that still reach the
// handlers meanwhile change nothing, and a second run does not start.
TEST_F(NicknameWorkflowTest, ClicksDuringLookupAreIgnored) {
  NicknameWorkflow* target = nullptr;
  bool clicking = false;
  NicknameWorkflow clicked_workflow(toolkit, [&](const Text& nickname) {
    if (!clicking) {
      clicking = true;
      target->RunBatchLookup();
      target->LookupSingleNickname();
      target->ImportNicknameFile();
      target->CopyResults();
      target->ClearBoxes();
      clicking = false;
    }
    return Lookup(nickname);
  });
  target = &clicked_workflow;
  toolkit.dialog_answers.push_back(G(dir.WriteFile("names.txt", kJiaBC)));
  clicked_workflow.ImportNicknameFile();
  toolkit.dialog_answers.push_back(G(dir.WriteFile("other.txt", "x\r\n")));

  clicked_workflow.RunBatchLookup();
  clicked_workflow.LookupSingleNickname();

  EXPECT_EQ(lookups, 4);  // three of the run, one single lookup
  EXPECT_EQ(toolkit.texts[Control::编辑框4], G("甲") + " 1001\r\nb 1002\r\nc 1003\r\n");
  EXPECT_THAT(clicked_workflow.NicknameList(), ElementsAre(G("甲"), "b", "c"));
  EXPECT_EQ(toolkit.dialog_answers.size(), 1u);  // no dialog was shown
  EXPECT_THAT(toolkit.message_boxes, IsEmpty());
  EXPECT_FALSE(toolkit.clipboard.has_value());
}

// Beyond 32767 entries the bar stops at its range's end, full from entry
// 32767 on, and the run still reaches the last entry.
TEST_F(NicknameWorkflowTest, ProgressClampsBeyond32767Entries) {
  constexpr int kEntries = 32769;
  std::string file;
  for (int i = 1; i <= kEntries; ++i) file += "n" + std::to_string(i) + "\r\n";
  ImportText(file);
  ASSERT_EQ(workflow.NicknameCount(), kEntries);
  EXPECT_EQ(toolkit.captions[Control::标签5], "32769");

  toolkit.keep_log = false;
  workflow.RunBatchLookup();

  ASSERT_EQ(position_at_lookup.size(), static_cast<size_t>(kEntries));
  EXPECT_EQ(toolkit.progress_maximum, 32767);
  EXPECT_EQ(position_at_lookup[32766], 32766);  // before entry 32767
  EXPECT_EQ(position_at_lookup[32767], 32767);  // full from entry 32767 on
  EXPECT_EQ(position_at_lookup[32768], 32767);
  EXPECT_EQ(toolkit.progress_position, 32767);
  EXPECT_EQ(toolkit.sleep_count, kEntries);
  EXPECT_TRUE(toolkit.texts[Control::编辑框4].ends_with("n32768 \r\nn32769 \r\n"));
}

// --- Single lookup.

TEST_F(NicknameWorkflowTest, SingleLookupShowsResultUnchangedInput) {
  struct Case {
    Text typed;
    Text shown;
  };
  for (const Case& c : {Case{G("甲"), "1001"}, Case{"", ""}, Case{" b ", ""}}) {
    SCOPED_TRACE(GbkToUtf8(c.typed));
    toolkit.log.clear();
    toolkit.texts[Control::编辑框1] = c.typed;
    toolkit.texts[Control::编辑框2] = "old";
    workflow.LookupSingleNickname();
    EXPECT_THAT(toolkit.log, ElementsAre("get 编辑框1", "lookup " + GbkToUtf8(c.typed),
                                         "set 编辑框2 " + GbkToUtf8(c.shown)));
  }
  EXPECT_EQ(toolkit.sleep_count, 0);
}

// --- Copy.

TEST_F(NicknameWorkflowTest, CopyPutsResultsOnClipboardThenConfirms) {
  struct Case {
    const char* name;
    Text results;
    bool clipboard_available;
    std::optional<Text> clipboard_after;
  };
  const Text results = G("甲") + " 1001\r\nb \r\n";
  for (const Case& c : {Case{"Results", results, true, results},
                        Case{"EmptyBox", "", true, Text()},
                        Case{"ClipboardBusy", results, false, Text("before")}}) {
    SCOPED_TRACE(c.name);
    FakeToolkit toolkit;
    NicknameWorkflow workflow(toolkit, [](const Text&) { return Text(); });
    toolkit.texts[Control::编辑框4] = c.results;
    toolkit.clipboard = "before";
    toolkit.clipboard_available = c.clipboard_available;

    workflow.CopyResults();

    EXPECT_EQ(toolkit.clipboard, c.clipboard_after);
    ASSERT_EQ(toolkit.message_boxes.size(), 1u);
    EXPECT_EQ(toolkit.message_boxes[0],
              (FakeToolkit::MessageBox{G("复制成功！请粘贴到您新建的TXT文本里！"), G("复制完成！")}));
    EXPECT_EQ(toolkit.log.back(), "message 复制完成！ 复制成功！请粘贴到您新建的TXT文本里！");
  }
}

}  // namespace
}  // namespace morvellin
