// What a screen reader sees of the windows beyond what Qt's own widgets tell
// it: the flat buttons, the output pane, the lamp panel, and containers that
// leave their hidden controls out. One factory serves all windows; the main
// window installs it as it starts.
#pragma once

#include <functional>

class QObject;
class QWidget;

namespace app {

// Installs the program's accessibility factories; later calls do nothing.
void InstallAccessibility();

// Makes `panel` the lamp panel: a status named for what it shows, busy while
// `busy` says so, whose press action calls `abort`, and of whose parts only
// `picture` is shown to a screen reader (the lamps are its drawing). Call it
// before `panel` gets a parent.
void MarkLampPanel(QWidget* panel, QWidget* picture, std::function<bool()> busy,
                   std::function<void()> abort);
// True when a change of `object` is worth telling: an assistive technology
// listens, or something in the process has asked for the object's interface
// (only then does a change cost more than this look).
bool Listened(QObject* object);
// Records that `object`'s interface exists, for Listened; the interface
// forgets it as it goes.
void MarkListened(QObject* object, bool listened);

// Tells a screen reader that the lamp panel went busy or idle.
void AnnounceLampState(QWidget* panel);

}  // namespace app
