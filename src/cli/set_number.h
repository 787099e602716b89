#pragma once
// The set number a command is given (files, restore, test, delete-from), read the same
// way by all of them before anything is sent to the drive: a decimal whole number from 1
// up to the last set a tape command can reach.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scsi/tape_commands.h"

namespace korv::cli {

// Set n starts after 2n - 1 filemarks, and a SPACE counts at most kMaxCount24 of them.
inline constexpr int32_t kLargestSetNumber = (kMaxCount24 + 1) / 2;

// The number, or nullopt with `problem` set to the message that says what is wrong.
std::optional<int32_t> parseSetNumber(std::string_view text, std::string& problem);

// The check for a SET positional: refuses with the parser's message, and leaves the
// number in plain decimal for the option's own conversion.
CLI::Validator setNumberValidator();

}  // namespace korv::cli
