// The Japanese texts of the command cycle, the settings dialog and the about
// box, each written once as its Shift-JIS bytes. The comment beside each gives
// its UTF-8 form and what it means.
#pragma once

namespace app::texts {

// Status bar while a cycle runs: "取得中..." (retrieving...)
inline constexpr char kStatusRetrieving[] = "\x8e\xe6\x93\xbe\x92\x86...";
// Status bar after every cycle: "取得完了" (retrieval complete)
inline constexpr char kStatusRetrieved[] = "\x8e\xe6\x93\xbe\x8a\xae\x97\xb9";
// Error box when the router could not be reached: "ログインできませんでした"
// (unable to log in)
inline constexpr char kLoginFailed[] =
    "\x83\x8d\x83\x4f\x83\x43\x83\x93\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5"
    "\x82\xbd";
// Caption of that box: "エラー" (error)
inline constexpr char kErrorCaption[] = "\x83\x47\x83\x89\x81\x5b";
// Error when an answer outgrew what a cycle keeps: "出力が 64 MiB を超えたため、
// 以降を破棄しました" (the output exceeded 64 MiB, so the rest was discarded)
inline constexpr char kAnswerTooLong[] =
    "\x8fo\x97\xcd\x82\xaa 64 MiB \x82\xf0\x92\xb4\x82\xa6\x82\xbd\x82\xbd\x82\xdf\x81\x41"
    "\x88\xc8\x8d~\x82\xf0\x94j\x8a\xfc\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
// Error when the router stops taking what we send: "ルーターが送信データを受け取り
// ません" (the router does not accept the data sent to it)
inline constexpr char kRouterNotReading[] =
    "\x83\x8b\x81[\x83^\x81[\x82\xaa\x91\x97\x90M\x83\x66\x81[\x83^\x82\xf0\x8e\xf3\x82\xaf"
    "\x8e\xe6\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
// After an answer that ended before the router's prompt, on standard error
// without a window and in the status bar with one: "応答が最後まで届きません
// でした" (the answer did not arrive in full)
inline constexpr char kAnswerIncomplete[] =
    "\x89\x9e\x93\x9a\x82\xaa\x8d\xc5\x8c\xe3\x82\xdc\x82\xc5\x93\xcd\x82\xab\x82\xdc\x82\xb9"
    "\x82\xf1\x82\xc5\x82\xb5\x82\xbd";
// Error when a command holds CR or LF: "コマンドに改行は使えません" (a command
// cannot contain a line break)
inline constexpr char kCommandHasLineBreak[] =
    "\x83R\x83}\x83\x93\x83h\x82\xc9\x89\xfc\x8ds\x82\xcd\x8eg\x82\xa6\x82\xdc\x82\xb9\x82\xf1";
// Error when a command holds a character Shift-JIS has no form for: "コマンドに
// Shift-JIS にない文字があります" (the command has characters that are not in
// Shift-JIS)
inline constexpr char kCommandNotShiftJis[] =
    "\x83R\x83\x7d\x83\x93\x83h\x82\xc9 Shift-JIS \x82\xc9\x82\xc8\x82\xa2\x95\xb6\x8e\x9a"
    "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7";
// Error when a command is longer than the program sends: "コマンドが長すぎます"
// (the command is too long)
inline constexpr char kCommandTooLong[] =
    "\x83R\x83\x7d\x83\x93\x83h\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7";

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
