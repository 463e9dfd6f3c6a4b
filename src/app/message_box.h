// Message boxes of the program. Where no one could see a box (the program runs
// on the offscreen platform, without a display), its text is written out
// instead: plain boxes to standard output (checked; see standard_output.h),
// error boxes to standard error. Every
// error box is remembered, so that a run without a window can report it in its
// exit status.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "app/standard_output.h"
#include "platform/exception.h"

class QWidget;

namespace app {

enum class BoxKind {
  Plain,  // a message, one OK button, no icon
  Error,  // an error, one OK button, the error icon
};

// Shows a modal box with one OK button and returns once it is closed. The
// texts are shown as plain text, never as markup.
void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text, BoxKind kind);
// The same for a text that may be huge (a router's answer): `produce` hands
// its UTF-8 to the sink piece by piece, and a box that is written out passes
// the pieces straight on, never holding the whole text.
using TextProducer = std::function<void(const std::function<void(std::string_view)>& sink)>;
void ShowMessageBoxStreamed(QWidget* owner, const QString& caption, const TextProducer& produce,
                            BoxKind kind);

// The application's standard error box for an error that ended a handler:
// the application's title as caption and `ansiMessage` (Shift-JIS) as text.
void ShowApplicationError(const std::string& ansiMessage);

// `pattern` with its "%s" replaced by `path`, as the user's code page shows
// it (file names on disk are UTF-8).
std::string TextWithPath(const char* pattern, const std::string& path);

// True once any error box has been raised in this run.
bool ErrorBoxRaised();
void ResetErrorBoxRaised();

// True when boxes are written out instead of shown.
bool BoxesAreWrittenOut();
// From now on every box is written out, display or not: a close asked for by
// a signal must not wait for anyone to press OK.
void WriteBoxesOutFromNowOn();

// A failure with no box of its own: `ansiMessage` goes to standard error, and
// counts as an error box for the exit status.
void ReportFailure(const std::string& ansiMessage);
// A failure that has been told already (or needs no telling): it only counts
// for the exit status.
void MarkRunFailed();

// Runs `handler` and turns an error that leaves it into the application's
// error box, so that no exception reaches the toolkit's event loop. Every slot
// of our windows runs through here.
template <typename Handler>
void Guarded(Handler&& handler) {
  try {
    handler();
  } catch (const StandardOutputFailed&) {
    // Reported where the write failed.
  } catch (const platform::Exception& error) {
    ShowApplicationError(error.Message());
  } catch (const std::exception& error) {
    ShowApplicationError(error.what());
  }
}

}  // namespace app
