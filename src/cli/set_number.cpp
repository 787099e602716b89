#include "cli/set_number.h"

namespace korv::cli {

std::optional<int32_t> parseSetNumber(std::string_view text, std::string& problem) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
    // The system's own conversion message, as the number box shows it.
    problem = "'" + std::string(text) + "' は整数ではありません";
    return std::nullopt;
  }
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
  int64_t value = 0;
  for (const char c : digits) {
    value = value * 10 + (c - '0');
    if (value > kLargestSetNumber) break;  // no overflow however long the text
  }
  if (negative || value < 1) {
    problem = "バックアップセットの番号は1以上です";
    return std::nullopt;
  }
  if (value > kLargestSetNumber) {
    problem = "バックアップセットの番号は" + std::to_string(kLargestSetNumber) + "以下です";
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

CLI::Validator setNumberValidator() {
  return CLI::Validator(
      [](std::string& text) {
        std::string problem;
        const auto number = parseSetNumber(text, problem);
        if (number) text = std::to_string(*number);
        return problem;
      },
      "", "set number");
}

}  // namespace korv::cli
