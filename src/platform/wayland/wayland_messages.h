#pragma once
// What the Wayland capture tells the user when it cannot start, each naming
// what to do. The details the portal or PipeWire gave are appended after the
// text (they are in English, as the desktop reports them).

#include <string_view>

namespace orvamy::wayland {

inline constexpr std::string_view kNoSessionBusMessage =
    "无法连接会话总线（D-Bus），录制不了 Wayland 桌面。请在图形桌面会话中启动本程序。";
inline constexpr std::string_view kNoPortalMessage =
    "桌面没有提供屏幕录制门户（org.freedesktop.portal.ScreenCast）。请安装 xdg-desktop-portal "
    "及桌面对应的后端（GNOME：xdg-desktop-portal-gnome；KDE：xdg-desktop-portal-kde；"
    "sway 等：xdg-desktop-portal-wlr），重新登录后再打开本程序。";
inline constexpr std::string_view kNoMonitorSourceMessage =
    "桌面的屏幕录制门户不能共享整个显示器，本程序无法录制。请换用支持共享显示器的门户后端。";
inline constexpr std::string_view kPortalCancelledMessage =
    "屏幕共享被取消了。请重新打开本程序，在桌面弹出的对话框里选择显示器并点“共享”。";
inline constexpr std::string_view kPortalRefusedMessage =
    "桌面拒绝了屏幕共享请求。请确认桌面允许屏幕共享（系统设置的隐私或共享部分），"
    "然后重新打开本程序。";
inline constexpr std::string_view kPortalTimeoutMessage =
    "桌面长时间没有回应屏幕共享请求。请关闭可能还开着的共享对话框，然后重新打开本程序。";
inline constexpr std::string_view kPortalCallFailedMessage =
    "屏幕录制门户调用失败。请确认 xdg-desktop-portal 正在运行，然后重新打开本程序。详情：";
inline constexpr std::string_view kNoStreamMessage =
    "桌面同意了共享，却没有给出任何显示器的画面。请重新打开本程序并至少选择一个显示器。";
inline constexpr std::string_view kPipeWireMessage =
    "无法接收屏幕画面（PipeWire）。请确认 PipeWire 服务正在运行（systemctl --user status "
    "pipewire），然后重新打开本程序。详情：";
inline constexpr std::string_view kNoPictureMessage =
    "屏幕画面迟迟没有送达。请确认共享的显示器没有关闭或锁屏，然后重新打开本程序。";
inline constexpr std::string_view kNoShortcutsPortalMessage =
    "桌面不提供全局快捷键门户（org.freedesktop.portal.GlobalShortcuts），"
    "F7/F8 在本程序窗口外不起作用。"
    "请在桌面的键盘设置中把 F7、F8 分别绑定到命令 orvamy-gif --start 和 orvamy-gif --stop。";
inline constexpr std::string_view kShortcutsRefusedMessage =
    "桌面没有同意全局快捷键 F7/F8。请在桌面的键盘设置中把 F7、F8 分别绑定到命令 "
    "orvamy-gif --start 和 orvamy-gif --stop。详情：";
// Not an error: said once where the desktop shares no pointer position.
inline constexpr std::string_view kFixedRectangleNote =
    "本桌面不提供鼠标位置，录制区域固定在屏幕中央，不会跟随鼠标。";

}  // namespace orvamy::wayland
