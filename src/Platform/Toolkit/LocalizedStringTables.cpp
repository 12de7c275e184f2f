#include "Platform/Toolkit/LocalizedStringTables.h"

namespace lorvantine::LocalizedStringTables {

// Voice labels: the name first, then a space and what the voice is (menus show the name alone).

namespace {

constexpr Entry s_english[] = {
    { "voice.zf_001.label", "Xiaoxuan (Chinese female)" },
    { "voice.zf_017.label", "Xiaoya (Chinese female)" },
    { "voice.zf_027.label", "Xiaorou (Chinese female)" },
    { "voice.zf_046.label", "Xiaoyue (Chinese female)" },
    { "voice.zf_079.label", "Xiaoqing (Chinese female)" },
    { "voice.zm_009.label", "Yunze (Chinese male)" },
    { "voice.zm_029.label", "Yunlang (Chinese male)" },
    { "voice.zm_033.label", "Yunchen (Chinese male)" },
    { "voice.zm_095.label", "Yunqian (Chinese male)" },
    { "voice.zm_098.label", "Yunhan (Chinese male)" },
    { "voice.af_heart.label", "Heart (American female)" },
    { "voice.af_bella.label", "Bella (American female)" },
    { "voice.af_nova.label", "Nova (American female)" },
    { "voice.af_sky.label", "Sky (American female)" },
    { "voice.bf_emma.label", "Emma (British female)" },
    { "voice.am_adam.label", "Adam (American male)" },
    { "voice.am_eric.label", "Eric (American male)" },
    { "voice.bm_george.label", "George (British male)" },
    { "accessibility.speak_icon", "Read aloud" },
    { "popover.settings.tooltip", "Settings" },
    { "popover.action.read_current", "Read Current Page" },
    { "popover.shortcut.label", "Shortcut: ⌃⇧R" },
    { "popover.status.ready", "Ready" },
    { "popover.action.quit", "Quit Lorvantine" },
    { "alert.input_monitoring.title", "Lorvantine needs Input Monitoring" },
    { "alert.input_monitoring.body", "To offer the read button beside the text you select, allow Lorvantine in System Settings › Privacy & Security › Input Monitoring." },
    { "alert.button.open_settings", "Open System Settings" },
    { "alert.button.later", "Later" },
};

constexpr Entry s_chinese[] = {
    { "voice.zf_001.label", "晓萱 (中文女声)" },
    { "voice.zf_017.label", "晓雅 (中文女声)" },
    { "voice.zf_027.label", "晓柔 (中文女声)" },
    { "voice.zf_046.label", "晓悦 (中文女声)" },
    { "voice.zf_079.label", "晓晴 (中文女声)" },
    { "voice.zm_009.label", "云泽 (中文男声)" },
    { "voice.zm_029.label", "云朗 (中文男声)" },
    { "voice.zm_033.label", "云辰 (中文男声)" },
    { "voice.zm_095.label", "云谦 (中文男声)" },
    { "voice.zm_098.label", "云瀚 (中文男声)" },
    { "voice.af_heart.label", "Heart (美式英语女声)" },
    { "voice.af_bella.label", "Bella (美式英语女声)" },
    { "voice.af_nova.label", "Nova (美式英语女声)" },
    { "voice.af_sky.label", "Sky (美式英语女声)" },
    { "voice.bf_emma.label", "Emma (英式英语女声)" },
    { "voice.am_adam.label", "Adam (美式英语男声)" },
    { "voice.am_eric.label", "Eric (美式英语男声)" },
    { "voice.bm_george.label", "George (英式英语男声)" },
    { "accessibility.speak_icon", "朗读" },
    { "popover.settings.tooltip", "设置" },
    { "popover.action.read_current", "朗读当前页面" },
    { "popover.shortcut.label", "快捷键：⌃⇧R" },
    { "popover.status.ready", "就绪" },
    { "popover.action.quit", "退出 Lorvantine" },
    { "alert.input_monitoring.title", "Lorvantine 需要输入监控权限" },
    { "alert.input_monitoring.body", "要在你选中的文字旁显示朗读按钮，请在“系统设置 › 隐私与安全性 › 输入监控”中允许 Lorvantine。" },
    { "alert.button.open_settings", "打开系统设置" },
    { "alert.button.later", "稍后" },
};

} // namespace

std::span<const Entry> english() { return s_english; }
std::span<const Entry> chinese() { return s_chinese; }

} // namespace lorvantine::LocalizedStringTables
