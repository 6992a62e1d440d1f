// The controls of the main window, by the names of its layout.
#ifndef MORVELLIN_UI_CONTROL_H_
#define MORVELLIN_UI_CONTROL_H_

#include <string_view>

namespace morvellin {

enum class Control {
  按钮1, 按钮2, 按钮3, 按钮4, 按钮5, 按钮6, 按钮7,
  编辑框1, 编辑框2, 编辑框3, 编辑框4,
  标签1, 标签2, 标签3, 标签4, 标签5, 标签6, 标签7, 标签8, 标签9, 标签10, 标签11, 标签12,
  进度条1, 图片框1, 超文本浏览框1, 通用对话框1,
};

// The layout name, which is also the widget's name ("编辑框3").
std::string_view ControlName(Control control);

}  // namespace morvellin

#endif  // MORVELLIN_UI_CONTROL_H_
