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

// The pane's saving and finding, in its context menu and the find box:
// "名前を付けて保存..." (save as), "検索..." (find), "次を検索" (find next),
// "前を検索" (find previous)
inline constexpr char kPaneSaveAs[] =
    "\x96\xbc\x91\x4f\x82\xf0\x95\x74\x82\xaf\x82\xc4\x95\xdb\x91\xb6...";
inline constexpr char kPaneFind[] = "\x8c\x9f\x8d\xf5...";
inline constexpr char kFindNext[] = "\x8e\x9f\x82\xf0\x8c\x9f\x8d\xf5";
inline constexpr char kFindPrevious[] = "\x91\x4f\x82\xf0\x8c\x9f\x8d\xf5";
// The find box's caption "検索" (find), its label "検索する文字列:" (text to
// find), its check box "大文字と小文字を区別する" (match case) and its button
// "閉じる" (close)
inline constexpr char kFindCaption[] = "\x8c\x9f\x8d\xf5";
inline constexpr char kFindLabel[] =
    "\x8c\x9f\x8d\xf5\x82\xb7\x82\xe9\x95\xb6\x8e\x9a\x97\xf1:";
inline constexpr char kFindMatchCase[] =
    "\x91\xe5\x95\xb6\x8e\x9a\x82\xc6\x8f\xac\x95\xb6\x8e\x9a\x82\xf0\x8b\xe6\x95\xca"
    "\x82\xb7\x82\xe9";
inline constexpr char kFindClose[] = "\x95\xc2\x82\xb6\x82\xe9";
// What a search found: "見つかりません" (not found), "先頭に戻って検索しました"
// (searched on from the top), "末尾に戻って検索しました" (searched on from the end)
inline constexpr char kFindNotFound[] =
    "\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
inline constexpr char kFindWrappedToTop[] =
    "\x90\xe6\x93\xaa\x82\xc9\x96\xdf\x82\xc1\x82\xc4\x8c\x9f\x8d\xf5\x82\xb5\x82\xdc"
    "\x82\xb5\x82\xbd";
inline constexpr char kFindWrappedToEnd[] =
    "\x96\x96\x94\xf6\x82\xc9\x96\xdf\x82\xc1\x82\xc4\x8c\x9f\x8d\xf5\x82\xb5\x82\xdc"
    "\x82\xb5\x82\xbd";
// The save box's kinds of file: "テキスト ファイル (*.txt)" (text files) and
// "すべてのファイル (*)" (all files)
inline constexpr char kTextFiles[] =
    "\x83\x65\x83\x4c\x83\x58\x83\x67 \x83\x74\x83\x40\x83\x43\x83\x8b (*.txt)";
inline constexpr char kAllFiles[] =
    "\x82\xb7\x82\xd7\x82\xc4\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b (*)";

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
