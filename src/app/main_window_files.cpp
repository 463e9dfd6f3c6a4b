// The main window's files outside a portable folder, and the router address
// and model given on the command line for one run.
//
// A first run in the per-user folder finds no panel there: it shows the
// installed default and writes the user's own copy at close. A --host or
// --model value is for this run only, so a script that polls several routers
// leaves the user's saved router alone; a value the user then sets in the
// settings dialog is theirs and is saved.
//
// The window's place is saved only when the user moved or resized it: where
// the window system put it, or where this run read it, is no reason to write
// over what another instance saved meanwhile.
#include <sys/stat.h>

#include <QShowEvent>
#include <QTimer>

#include "app/main_window.h"

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string TForm1::panelSourcePath() const {
  const std::string own = PanelPath();
  if (defaultPanelPath_.empty() || Exists(own) || !Exists(defaultPanelPath_)) {
    return own;
  }
  return defaultPanelPath_;
}

void TForm1::applyRunSettings() {
  hostInFile_ = Host();
  routerModelInFile_ = RouterModel;
  if (runSettings_.host) SetHost(*runSettings_.host);
  if (runSettings_.routerModel) RouterModel = *runSettings_.routerModel;
}

std::string TForm1::hostToSave() const {
  return runSettings_.host && Host() == *runSettings_.host ? hostInFile_ : Host();
}

int TForm1::routerModelToSave() const {
  return runSettings_.routerModel && RouterModel == *runSettings_.routerModel ? routerModelInFile_
                                                                              : RouterModel;
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (placedGeometry_ || event->spontaneous()) {
    return;
  }
  // The window system places the window on its way to the screen; what it
  // did is settled once the events of the showing have been served.
  QTimer::singleShot(0, this, [this] {
    if (!placedGeometry_) placedGeometry_ = QRect(pos(), size());
  });
}

bool TForm1::userPlacedWindow() const {
  return splitterDragged_ || (placedGeometry_ && *placedGeometry_ != QRect(pos(), size()));
}
