#pragma once
// The application's top-level error handler: the few errors the runtime raises (an
// options file that cannot be written, a folder that cannot be created) end the handler
// that met them and are shown in an error box. Every handler of a form that can meet one
// runs its body through this.

#include <functional>

#include "sys/messages.h"

namespace korv::gui {

// Runs `body`; an exception it throws is shown as "ｴﾗｰ" with its text. False then.
bool runHandler(MessageService& messages, const std::function<void()>& body);

}  // namespace korv::gui
