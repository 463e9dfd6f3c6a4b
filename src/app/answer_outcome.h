// Whether a command cycle's answer came whole, decided from what the cycle's
// waits found, apart from any window or connection, so that the rule is
// checked on its own and can move with the cycle.
//
// Only the wait for the command's own prompt decides: the prompt after the
// log-in may be missing (a slow router, a changed model) and the command's
// answer still arrive whole. A prompt that came ends the answer, whatever the
// connection does next; a router that hangs up right after it has said all it
// had to say.
#pragma once

namespace app {

// How the wait for the prompt after the command ended.
enum class CommandWaitEnd {
  PromptFound,      // the awaited prompt is in the answer
  NoPromptAwaited,  // the router model awaits none; the cycle did not wait
  GaveUp,           // the tick limit passed, or the connection ended, first
  Aborted,          // the user asked the cycle to stop
};

// What each wait of one cycle found.
struct CycleWaits {
  bool logInPromptFound = false;            // "login:" after the wake-up
  bool modelPromptFoundAfterLogIn = false;  // the prompt after "admin"
  CommandWaitEnd commandWait = CommandWaitEnd::GaveUp;
  bool answerCut = false;  // the answer outgrew what a cycle keeps
};

enum class AnswerOutcome {
  Complete,    // shown without the returning prompt
  Incomplete,  // shown as far as it came, last line kept; the run fails
  Cut,         // shown as far as it was kept, last line kept; the cap's error
  NotShown,    // aborted: nothing is shown
};

AnswerOutcome DecideAnswerOutcome(const CycleWaits& waits);

// True when the answer's last line is data rather than the returning prompt.
inline bool KeepsLastLine(AnswerOutcome outcome) {
  return outcome == AnswerOutcome::Incomplete || outcome == AnswerOutcome::Cut;
}

}  // namespace app
