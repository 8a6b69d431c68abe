#pragma once
// The main window's form: title, size, and every control with its kind,
// place, text and initial state, in creation order. Back ends build their
// widgets from this table; nothing here depends on a toolkit.

#include <array>
#include <string_view>

namespace orvamy {

inline constexpr std::string_view kMainWindowTitle = "Orvamy GIF录制";
inline constexpr std::string_view kFrameCountCaptionPrefix = "帧数：";
// The outer size on Windows 10 with the default frame, and the client area it leaves.
inline constexpr int kMainWindowOuterWidth = 233;
inline constexpr int kMainWindowOuterHeight = 272;
inline constexpr int kMainWindowClientWidth = 217;
inline constexpr int kMainWindowClientHeight = 233;

inline constexpr std::string_view kAboutText = "没错！这就是和那些个不一样的GIF录制软件。";
inline constexpr std::string_view kAboutTitle = "OrvamyGIF 跟随录制";
inline constexpr std::string_view kDefaultMessageTitle = "信息：";

inline constexpr std::string_view kInitialWidthText = "350";
inline constexpr std::string_view kInitialHeightText = "250";
inline constexpr std::string_view kInitialRateText = "5";

// The opacity list of the preview frame, top to bottom; the list's selection
// is set to kInitialOpacityIndex first, then the edit field to kInitialOpacityText.
inline constexpr std::array<std::string_view, 6> kOpacityItems = {"30%", "25%", "20%",
                                                                  "15%", "10%", "5%"};
inline constexpr int kInitialOpacityIndex = 4;
inline constexpr std::string_view kInitialOpacityText = "15%";

enum class ControlKind { Label, EditBox, CheckBox, ComboBox, Button, GroupBox, Timer, DrawPanel };

enum class ControlId {
  HintLabel,       // 标签5
  OpacityBox,      // 组合框1
  OnTopBox,        // 选择框3
  OpacityLabel,    // 标签4
  AboutButton,     // 按钮3
  PreviewBox,      // 选择框2
  PreviewTimer,    // 时钟1
  MarkerBox,       // 选择框1
  CanvasTemplate,  // 画板1
  RateEdit,        // 编辑框3
  RateLabel,       // 标签3
  HeightLabel,     // 标签2
  WidthLabel,      // 标签1
  HeightEdit,      // 编辑框2
  WidthEdit,       // 编辑框1
  StopButton,      // 按钮2
  RecordButton,    // 按钮1
  SizingGroup,     // 分组框1
};

struct ControlSpec {
  ControlId id;
  std::string_view form_name;
  ControlKind kind;
  int left, top, width, height;  // client coordinates of the outer edge
  std::string_view text;
  bool tab_stop;
  bool initially_ticked;  // check boxes only
};

// In creation order, which is also the Tab order of the tab stops.
inline constexpr std::array<ControlSpec, 18> kMainWindowControls = {{
    {ControlId::HintLabel, "标签5", ControlKind::Label, 16, 208, 200, 24,
     "鼠标放入上框调整预览录制窗口大小", false, false},
    {ControlId::OpacityBox, "组合框1", ControlKind::ComboBox, 160, 46, 48, 20, "15%", true, false},
    {ControlId::OnTopBox, "选择框3", ControlKind::CheckBox, 112, 80, 96, 16, "窗口总在最前", true,
     true},
    {ControlId::OpacityLabel, "标签4", ControlKind::Label, 112, 47, 48, 16, "透明度：", false,
     false},
    {ControlId::AboutButton, "按钮3", ControlKind::Button, 160, 112, 40, 32, "关于", true, false},
    {ControlId::PreviewBox, "选择框2", ControlKind::CheckBox, 16, 48, 104, 16, "预览录制大小", true,
     false},
    {ControlId::PreviewTimer, "时钟1", ControlKind::Timer, 0, 0, 0, 0, "", false, false},
    {ControlId::MarkerBox, "选择框1", ControlKind::CheckBox, 16, 80, 104, 16, "绘制鼠标位置", true,
     true},
    {ControlId::CanvasTemplate, "画板1", ControlKind::DrawPanel, 264, 64, 72, 72, "", false, false},
    {ControlId::RateEdit, "编辑框3", ControlKind::EditBox, 160, 16, 32, 24, "5", true, false},
    {ControlId::RateLabel, "标签3", ControlKind::Label, 128, 16, 32, 24, "帧/s：", false, false},
    {ControlId::HeightLabel, "标签2", ControlKind::Label, 72, 16, 16, 24, "高：", false, false},
    {ControlId::WidthLabel, "标签1", ControlKind::Label, 16, 16, 16, 24, "宽：", false, false},
    {ControlId::HeightEdit, "编辑框2", ControlKind::EditBox, 96, 16, 32, 24, "250", true, false},
    {ControlId::WidthEdit, "编辑框1", ControlKind::EditBox, 40, 16, 32, 24, "350", true, false},
    {ControlId::StopButton, "按钮2", ControlKind::Button, 88, 112, 72, 32, "停止（F8）", true,
     false},
    {ControlId::RecordButton, "按钮1", ControlKind::Button, 16, 112, 72, 32, "录制（F7）", true,
     false},
    {ControlId::SizingGroup, "分组框1", ControlKind::GroupBox, 16, 152, 184, 56,
     "Ctrl/Alt+滚轮调整宽度高度 ", false, false},
}};

constexpr const ControlSpec& FindControl(ControlId id) {
  for (const ControlSpec& control : kMainWindowControls) {
    if (control.id == id) return control;
  }
  return kMainWindowControls[0];  // unreachable: every id is in the table
}

}  // namespace orvamy
