// The main window's side of the settings dialog and the about box.
#include "app/about_box.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"

void TForm1::CreateDialogs() {
  AboutBox = new TAboutBox(this);
  Form2 = new TForm2(this);
}

void TForm1::N2Click() {}

void TForm1::About1Click() {}
