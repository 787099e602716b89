#pragma once
// The tape maintenance commands of the main menu (rewind, retension, eject, erase, format,
// delete the last set, delete the sets from a number on), written once for both faces:
// each asks for confirmation, runs its tape operations in order and shows its result in
// a plain box. The face only maps the outcome to what it does next.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "sys/messages.h"
#include "tape/sfile.h"

namespace korv::jobs {

enum class MaintenanceOutcome {
  Done,       // "正常終了．" was shown
  Failed,     // a tape operation failed (its message shown), or the drive could not be bound
  Cancelled,  // the confirmation was declined, or the input box cancelled
  BadInput,   // the number box held no integer (the conversion error was shown)
};

struct MaintenanceResult {
  MaintenanceOutcome outcome = MaintenanceOutcome::Done;
  // After an eject there is no medium: the tape items stay disabled until the device is
  // bound again (menuactive(false)).
  bool disableTapeItems = false;
};

// Where a command finds its tape component. The desktop program's is bound before any
// command can be chosen; the terminal binds its own only once the user has agreed (and,
// for delete-from, once the number was accepted), so that a declined command sends
// nothing at all. A binder returns null when the drive cannot be bound, after saying why.
class TapeAccess {
 public:
  TapeAccess(TScsifile& bound) : bound_(&bound) {}  // implicit: a bound component is enough
  explicit TapeAccess(std::function<TScsifile*()> bind) : bind_(std::move(bind)) {}

  TScsifile* get() {
    if (bound_ == nullptr && bind_) bound_ = bind_();
    return bound_;
  }

 private:
  TScsifile* bound_ = nullptr;
  std::function<TScsifile*()> bind_;
};

// Called with true when the hourglass cursor should show (after the confirmation) and
// with false before the result message; may be empty.
using BusyCursor = std::function<void(bool busy)>;

MaintenanceResult rewindTape(TapeAccess tape, MessageService& messages);
// Winds to the end of the data and back. Every step is tried; a step the drive refused
// is reported as "巻き直しエラー発生！！", never as success.
MaintenanceResult retensionTape(TapeAccess tape, MessageService& messages,
                                const BusyCursor& busy = {});
MaintenanceResult ejectTape(TapeAccess tape, MessageService& messages);
MaintenanceResult eraseTape(TapeAccess tape, MessageService& messages);
// `namePrompt` answers the tape-name input box of formatting (the terminal answers it
// from --name); every other box goes to `messages`.
MaintenanceResult formatTape(TapeAccess tape, MessageService& messages, MessageService& namePrompt,
                             const BusyCursor& busy = {});
MaintenanceResult deleteLastSet(TapeAccess tape, MessageService& messages,
                                const BusyCursor& busy = {});
// Asks for the first set to delete in the number box ("1" offered).
MaintenanceResult deleteSetsFrom(TapeAccess tape, MessageService& messages,
                                 const BusyCursor& busy = {});

// The number box's text to integer conversion: decimal with an optional sign, or
// hexadecimal after "$" or "0x" using all 32 bits. On anything else it shows the
// conversion error "'TEXT' は整数ではありません" and returns nullopt.
std::optional<int32_t> inputInteger(const std::string& text, MessageService& messages);

}  // namespace korv::jobs
