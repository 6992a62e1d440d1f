#include "ui/control.h"

namespace morvellin {

std::string_view ControlName(Control control) {
  switch (control) {
    case Control::按钮1: return "按钮1";
    case Control::按钮2: return "按钮2";
    case Control::按钮3: return "按钮3";
    case Control::按钮4: return "按钮4";
    case Control::按钮5: return "按钮5";
    case Control::按钮6: return "按钮6";
    case Control::按钮7: return "按钮7";
    case Control::编辑框1: return "编辑框1";
    case Control::编辑框2: return "编辑框2";
    case Control::编辑框3: return "编辑框3";
    case Control::编辑框4: return "编辑框4";
    case Control::标签1: return "标签1";
    case Control::标签2: return "标签2";
    case Control::标签3: return "标签3";
    case Control::标签4: return "标签4";
    case Control::标签5: return "标签5";
    case Control::标签6: return "标签6";
    case Control::标签7: return "标签7";
    case Control::标签8: return "标签8";
    case Control::标签9: return "标签9";
    case Control::标签10: return "标签10";
    case Control::标签11: return "标签11";
    case Control::标签12: return "标签12";
    case Control::进度条1: return "进度条1";
    case Control::图片框1: return "图片框1";
    case Control::超文本浏览框1: return "超文本浏览框1";
    case Control::通用对话框1: return "通用对话框1";
  }
  return {};
}

}  // namespace morvellin
