#include "sys/messages.h"

namespace korv {

std::string applicationTitle(const std::string& executablePath) {
  std::string name = executablePath.substr(executablePath.find_last_of('/') + 1);
  name = name.substr(0, name.find('.'));
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name;
}

}  // namespace korv
