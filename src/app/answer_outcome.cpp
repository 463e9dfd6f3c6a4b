// The completeness rule of a command cycle's answer.
#include "app/answer_outcome.h"

namespace app {

AnswerOutcome DecideAnswerOutcome(const CycleWaits& waits) {
  // What the log-in waits found does not enter the decision.
  if (waits.commandWait == CommandWaitEnd::Aborted) return AnswerOutcome::NotShown;
  // Bytes were thrown away, whether or not a prompt was among those kept.
  if (waits.answerCut) return AnswerOutcome::Cut;
  switch (waits.commandWait) {
    case CommandWaitEnd::PromptFound:
    case CommandWaitEnd::NoPromptAwaited:
      return AnswerOutcome::Complete;
    default:
      return AnswerOutcome::Incomplete;
  }
}

}  // namespace app
