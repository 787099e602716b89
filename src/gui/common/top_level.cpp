#include "gui/common/top_level.h"

#include <exception>

namespace korv::gui {

bool runHandler(MessageService& messages, const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (const std::exception& error) {
    messages.show(BoxType::Error, error.what());
  }
  return false;
}

}  // namespace korv::gui
