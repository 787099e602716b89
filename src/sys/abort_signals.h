#pragma once
// SIGTERM, SIGHUP and SIGINT as the abort request of a run. `timeout`, systemd and a
// shutdown send SIGTERM, a closed terminal SIGHUP, Ctrl-C SIGINT: each would otherwise
// end the program in the middle of a tape file, leaving a set without its ending filemark
// and a half-written file on disk. While an AbortOnSignals lives, any of them only raises
// the request that the run polls (through its progress dialog's isabort), so the run ends
// as an abort ends. Further signals while the abort is in progress change nothing. Both
// faces use it: the desktop program's dialog answers isabort with its button or this.

namespace korv {

class AbortOnSignals {
 public:
  // Installs the handlers and clears any earlier request.
  AbortOnSignals();
  // Restores the handlers that were there before.
  ~AbortOnSignals();
  AbortOnSignals(const AbortOnSignals&) = delete;
  AbortOnSignals& operator=(const AbortOnSignals&) = delete;

  // The request stays until cleared, so a signal that arrives before the run first looks
  // (while the tape is being positioned) is not lost.
  static bool requested();
  static void clear();
  static void request();  // as a signal does
  // The signal that raised the request, 0 when none did.
  static int signalNumber();
};

}  // namespace korv
