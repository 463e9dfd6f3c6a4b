// The names and descriptions a screen reader reads out for controls that show
// no text of their own, each written once as its Shift-JIS bytes, with its
// UTF-8 form and meaning beside it.
#pragma once

namespace app::texts {

// The edit box: "ルーターに送るコマンド" (the command sent to the router)
inline constexpr char kCommandBoxName[] =
    "\x83\x8B\x81[\x83^\x81[\x82\xC9\x91\x97\x82\xE9\x83R\x83}\x83\x93\x83h";
// The output pane, in the window and in the "-cd" box: "ルーターの応答" (the
// router's answer)
inline constexpr char kAnswerPaneName[] = "\x83\x8B\x81[\x83^\x81[\x82\xCC\x89\x9E\x93\x9A";
// The lamp panel: "通信状態" (communication state)
inline constexpr char kLampPanelName[] = "\x92\xCA\x90M\x8F\xF3\x91\xD4";
// What it shows, before what a click does: "取得中。" (retrieving) while a
// cycle runs, else "待機中。" (waiting)
inline constexpr char kLampPanelBusy[] = "\x8E\xE6\x93\xBE\x92\x86\x81\x42";
inline constexpr char kLampPanelIdle[] = "\x91\xD2\x8B@\x92\x86\x81\x42";
// What a click on it does: "クリックで取得を中止します" (a click stops the
// retrieval)
inline constexpr char kLampPanelDescription[] =
    "\x83N\x83\x8A\x83\x62\x83N\x82\xC5\x8E\xE6\x93\xBE\x82\xF0\x92\x86\x8E~\x82\xB5\x82\xDC"
    "\x82\xB7";
// The help button: "メニューを開きます" (opens a menu)
inline constexpr char kOpensMenuDescription[] =
    "\x83\x81\x83j\x83\x85\x81[\x82\xF0\x8AJ\x82\xAB\x82\xDC\x82\xB7";
// The tree: "操作パネル" (operation panel)
inline constexpr char kOperationPanelName[] = "\x91\x80\x8D\xEC\x83p\x83l\x83\x8B";
// The status bar: "ステータスバー" (status bar)
inline constexpr char kStatusBarName[] = "\x83X\x83\x65\x81[\x83^\x83X\x83o\x81[";
// The about box's picture: "Vantrel のアイコン" (Vantrel's icon)
inline constexpr char kProgramIconName[] = "Vantrel \x82\xCC\x83\x41\x83\x43\x83R\x83\x93";
// The picture on the lamp panel, the letters it shows.
inline constexpr char kIsdnPictureName[] = "ISDN";

}  // namespace app::texts
