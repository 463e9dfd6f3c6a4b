// The output pane as a screen reader reads it: a read-only multi-line text
// with its caret and selection, read by character offsets, words and lines.
// Offsets are counted without converting the text: the pane's lines are
// bytes, each character one or two of them and one UTF-16 unit, so only the
// pieces asked for are ever converted, however long the answer.
#pragma once

class OutputPane;
class QAccessibleInterface;

namespace app {

QAccessibleInterface* NewOutputPaneAccessible(OutputPane* pane);

// Tell a screen reader what changed in the pane; nothing while no assistive
// technology listens.
// The lines were replaced (also emptied); the caret is back at the start.
void AnnouncePaneReset(OutputPane* pane);
// Lines were added after the last one.
void AnnouncePaneLinesAdded(OutputPane* pane);
// The caret or the selection moved.
void AnnouncePaneCaret(OutputPane* pane);

}  // namespace app
