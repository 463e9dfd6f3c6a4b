// The Japanese texts of the main window, each written once as its Shift-JIS
// bytes. The comment beside each gives its UTF-8 form and what it means. The
// texts the main window shares with the dialogs ("設定", "バージョン情報" and the
// window font "ＭＳ Ｐゴシック") live in session_texts.h.
// A letter that follows a byte escape is escaped too, so that no escape can
// swallow the hex digit after it.
#pragma once

namespace app::texts {

// Error box when the panel file can't be read, %s being its full path:
// "ファイル %s は開けません" (the file %s cannot be opened)
inline constexpr char kFileCannotBeOpened[] =
    "\x83t\x83@\x83\x43\x83\x8B %s \x82\xCD\x8AJ\x82\xAF\x82\xDC\x82\xB9\x82\xF1";
// Error box when a file can't be written at close, %s being its full path:
// "ファイル %s を作成できません" (the file %s cannot be created)
inline constexpr char kFileCannotBeCreated[] =
    "\x83t\x83@\x83\x43\x83\x8B %s \x82\xF0\x8D\xEC\x90\xAC\x82\xC5\x82\xAB\x82\xDC"
    "\x82\xB9\x82\xF1";

// Font of the output pane: "ＭＳ ゴシック" (a fixed-pitch Gothic face)
inline constexpr char kFixedFontFamily[] = "\x82l\x82r \x83S\x83V\x83\x62\x83N";

// Refresh button caption: "更新" (refresh)
inline constexpr char kRefreshCaption[] = "\x8DX\x90V";
// Its tool tip: "最新の情報に更新" (update to the latest information)
inline constexpr char kRefreshHint[] = "\x8D\xC5\x90V\x82\xCC\x8F\xEE\x95\xF1\x82\xC9\x8DX\x90V";
// Help button caption: "ヘルプ" (help)
inline constexpr char kHelpCaption[] = "\x83w\x83\x8B\x83v";

// Caption of the panel entry that explains the edit box: "任意のコマンド"
// (arbitrary command)
inline constexpr char kArbitraryCommandCaption[] =
    "\x94\x43\x88\xD3\x82\xCC\x83R\x83}\x83\x93\x83h";
// Its two help lines: "上のテキストボックスにコマンドを入力してEnterキーを押すと、"
// and "任意のコマンドを実行できます。" (type a command in the text box above and
// press the Enter key to run any command)
inline constexpr char kArbitraryCommandHelp1[] =
    "\x8F\xE3\x82\xCC\x83\x65\x83L\x83X\x83g\x83{\x83\x62\x83N\x83X\x82\xC9\x83R\x83}"
    "\x83\x93\x83h\x82\xF0\x93\xFC\x97\xCD\x82\xB5\x82\xC4\x45nter\x83L\x81[\x82\xF0"
    "\x89\x9F\x82\xB7\x82\xC6\x81\x41";
inline constexpr char kArbitraryCommandHelp2[] =
    "\x94\x43\x88\xD3\x82\xCC\x83R\x83}\x83\x93\x83h\x82\xF0\x8E\xC0\x8Ds\x82\xC5\x82"
    "\xAB\x82\xDC\x82\xB7\x81\x42";

// The output pane's context menu, worded as Qt's Japanese edit boxes word
// theirs: "コピー(&C)" (copy) and "すべてを選択" (select all)
inline constexpr char kPaneCopy[] = "\x83R\x83s\x81[(&C)";
inline constexpr char kPaneSelectAll[] = "\x82\xB7\x82\xD7\x82\xC4\x82\xF0\x91I\x91\xF0";

// The application's title, also the caption of its own message boxes.
inline constexpr char kApplicationTitle[] = "Vantrel";

// A run over many routers, at its end when any failed, out of how many and
// how many: "%d 台中 %d 台のルーターで失敗しました" (failed on %d of %d routers)
inline constexpr char kRoutersFailed[] =
    "%d \x91\xe4\x92\x86 %d \x91\xe4\x82\xcc\x83\x8b\x81\x5b\x83\x5e\x81\x5b\x82\xc5\x8e\xb8"
    "\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
// Its progress line on a terminal: "%d/%d ルーター完了" (%d of %d routers done)
inline constexpr char kRoutersDone[] = "%d/%d \x83\x8b\x81\x5b\x83\x5e\x81\x5b\x8a\xae\x97\xb9";

}  // namespace app::texts
