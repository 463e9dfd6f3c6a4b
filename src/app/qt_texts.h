// Qt draws some texts of its own: the context menus of edit boxes, the
// buttons of its standard boxes. A window whose every other text is Japanese
// shows those in Japanese too, whatever the user's locale, from Qt's own
// translation. The program's own texts are not translated; they are Japanese
// already.
#pragma once

#include <QString>

namespace app {

// Loads Qt's Japanese translation from `folder` and puts it in force. False,
// leaving Qt's English texts, when it can't be loaded; nothing else depends
// on it. Loading it again replaces the one in force.
bool InstallJapaneseQtTexts(const QString& folder);
// The same from the folder Qt keeps its translations in.
bool InstallJapaneseQtTexts();
// Back to Qt's English texts.
void RemoveJapaneseQtTexts();

}  // namespace app
