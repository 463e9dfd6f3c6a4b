// The texts a user reads about a command cycle, each written once as its
// Shift-JIS bytes, for the window and the console run alike. The comment
// beside each gives its UTF-8 form and what it means.
#pragma once

namespace cycle::texts {

// Error box when the router could not be reached: "ログインできませんでした"
// (unable to log in)
inline constexpr char kLoginFailed[] =
    "\x83\x8d\x83\x4f\x83\x43\x83\x93\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5"
    "\x82\xbd";
// The second line of the log-in error, saying why a direct connection did not
// come about; %s is the router's address as set. The router refused it:
// "%s への接続が拒否されました" (the connection to %s was refused)
inline constexpr char kConnectionRefused[] =
    "%s \x82\xd6\x82\xcc\x90\xda\x91\xb1\x82\xaa\x8b\x91\x94\xdb\x82\xb3\x82\xea\x82\xdc"
    "\x82\xb5\x82\xbd";
// Nothing answered within the connection's ticks: "%s から時間内に応答がありませんでした"
// (no answer from %s in time)
inline constexpr char kNoAnswerInTime[] =
    "%s \x82\xa9\x82\xe7\x8e\x9e\x8a\xd4\x93\xe0\x82\xc9\x89\x9e\x93\x9a\x82\xaa\x82\xa0"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd";
// The name has no address: "ホスト名 %s が見つかりません" (host name %s not found)
inline constexpr char kHostNameNotFound[] =
    "\x83\x7a\x83\x58\x83\x67\x96\xbc %s \x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc"
    "\x82\xb9\x82\xf1";
// Any other failure, followed by the system's reason: "%s に接続できません: "
// (cannot connect to %s: )
inline constexpr char kCannotConnect[] =
    "%s \x82\xc9\x90\xda\x91\xb1\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1: ";
// Caption of the log-in error's box: "エラー" (error)
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
// Without a window, after an answer that ended before the router's prompt:
// "応答が最後まで届きませんでした" (the answer did not arrive in full)
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

}  // namespace cycle::texts
