#include "sys/abort_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace korv::test {
namespace {

// Each signal that would end the program mid-run only raises the abort request while a
// run holds the handlers, a second one changes nothing, and the handlers from before
// come back afterwards.
TEST(AbortOnSignalsTest, TermHupAndIntRaiseTheRequestAndTheOldHandlersReturn) {
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    struct sigaction before {};
    sigaction(signal, nullptr, &before);
    {
      AbortOnSignals handlers;
      EXPECT_FALSE(AbortOnSignals::requested());
      raise(signal);  // would end the test program without the handler
      EXPECT_TRUE(AbortOnSignals::requested());
      raise(SIGINT);
      EXPECT_EQ(AbortOnSignals::signalNumber(), signal);
    }
    struct sigaction after {};
    sigaction(signal, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
  }
}

}  // namespace
}  // namespace korv::test
