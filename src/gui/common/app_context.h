#pragma once
// The program-wide state of the main-window unit that every form of the desktop program
// reads: the bus, the wait, the message service, the one tape component `sf` that does
// the work (bound by the main window, used by the backup, restore and test dialogs),
// `opt` and `scsiid`, and where the options file is.
//
// The bus, the pump and the message service belong to whoever made the context (the
// program's main(), or a test); the pump must outlive the bus, whose transport may wake
// it as it shuts down.

#include <string>

#include "scsi/transport.h"
#include "sys/messages.h"
#include "sys/options.h"
#include "tape/sfile.h"

namespace korv::gui {

struct AppContext {
  AppContext(ScsiTransport& bus, EventPump& pump, MessageService& messages, std::string optionsPath)
      : bus(bus),
        pump(pump),
        messages(messages),
        optionsPath(std::move(optionsPath)),
        sf(bus, pump, messages) {}
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  ScsiTransport& bus;
  EventPump& pump;
  MessageService& messages;
  std::string optionsPath;  // korvessian.ini, shared with the terminal program

  TScsifile sf;     // main.sf
  Options opt;      // copy of the options panel, taken by optset
  int scsiid = -1;  // the chosen target id; -1 none. Chosen anew at every start.
};

}  // namespace korv::gui
