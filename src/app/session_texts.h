// The Japanese texts of the command cycle, the settings dialog and the about
// box, each written once as its Shift-JIS bytes. The comment beside each gives
// its UTF-8 form and what it means.
#pragma once

#include "cycle/cycle_texts.h"

namespace app::texts {

// Status bar while a cycle runs: "取得中..." (retrieving...)
inline constexpr char kStatusRetrieving[] = "\x8e\xe6\x93\xbe\x92\x86...";
// Status bar after every cycle: "取得完了" (retrieval complete)
inline constexpr char kStatusRetrieved[] = "\x8e\xe6\x93\xbe\x8a\xae\x97\xb9";
// Status bar after a cycle the user stopped: "取得を中断しました" (retrieval
// aborted)
inline constexpr char kStatusAborted[] =
    "\x8e\xe6\x93\xbe\x82\xf0\x92\x86\x92\x66\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
// Status bar after a failed log-in or a cycle an error ended: "取得できません
// でした" (could not retrieve)
inline constexpr char kStatusFailed[] =
    "\x8e\xe6\x93\xbe\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd";
// After a cycle's duration in the status bar: "秒" (seconds)
inline constexpr char kSecondsUnit[] = "\x95\x62";
// Tool tip of the lamps, which stop a running cycle: "中断" (abort)
inline constexpr char kAbortHint[] = "\x92\x86\x92\x66";
// The cycle's own texts, shared with the console run.
using ::cycle::texts::kAnswerIncomplete;
using ::cycle::texts::kAnswerTooLong;
using ::cycle::texts::kCommandHasLineBreak;
using ::cycle::texts::kCommandNotShiftJis;
using ::cycle::texts::kCommandTooLong;
using ::cycle::texts::kErrorCaption;
using ::cycle::texts::kLoginFailed;
using ::cycle::texts::kRouterNotReading;

// Settings dialog caption: "設定" (settings)
inline constexpr char kSettingsCaption[] = "\x90\xdd\x92\xe8";
// "ルーターIPアドレス" (router IP address)
inline constexpr char kRouterAddressLabel[] =
    "\x83\x8b\x81\x5b\x83\x5e\x81\x5b"
    "IP"
    "\x83\x41\x83\x68\x83\x8c\x83\x58";
// "ルーター機種" (router model)
inline constexpr char kRouterModelLabel[] = "\x83\x8b\x81\x5b\x83\x5e\x81\x5b\x8b\x40\x8e\xed";
// First model entry: "自動設定" (automatic setting)
inline constexpr char kModelAutomatic[] = "\x8e\xa9\x93\xae\x90\xdd\x92\xe8";
// "操作パネルのカスタマイズ" (customising the operation panel)
inline constexpr char kPanelCustomiseLabel[] =
    "\x91\x80\x8d\xec\x83\x70\x83\x6c\x83\x8b\x82\xcc\x83\x4a\x83\x58\x83\x5e\x83\x7d\x83\x43"
    "\x83\x59";
// "シングルクリック" (single click)
inline constexpr char kSingleClick[] =
    "\x83\x56\x83\x93\x83\x4f\x83\x8b\x83\x4e\x83\x8a\x83\x62\x83\x4e";
// "キャンセル(&C)" (cancel)
inline constexpr char kCancelButton[] = "\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b(&C)";

// Font of the dialogs: "ＭＳ Ｐゴシック" (a proportional Gothic face)
inline constexpr char kDialogFontFamily[] =
    "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

// About box caption: "バージョン情報" (version information)
inline constexpr char kAboutCaption[] = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x8f\xee\x95\xf1";
// "ルーター用TELNETリーダー" (TELNET reader for routers)
inline constexpr char kAboutTagline[] =
    "\x83\x8b\x81\x5b\x83\x5e\x81\x5b\x97\x70"
    "TELNET"
    "\x83\x8a\x81\x5b\x83\x5f\x81\x5b";

}  // namespace app::texts
