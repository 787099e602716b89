#pragma once
// Helpers of the volume operations of TScsifile (label, catalogue, maintenance) that
// the faces also need: the version message, the name prompt of formatting with another
// answerer, and the bounds of set numbers.

#include <cstdint>
#include <string>

#include "sys/messages.h"
#include "tape/sfile.h"

namespace korv {

// The version text of an identification string: its characters 26 to 38 (from 1), or
// fewer, down to none, when the text is shorter.
std::string versionText(const std::string& identification);

// The seven lines shown when a tape's label is not this format's, joined by '\r'.
// labelText is the label's identification text as read (CP932 bytes).
std::string versionMessage(const std::string& labelText, const std::string& formatId);

// FormatVolume with the name prompt put to `prompt` instead of the component's own
// message service (the terminal answers it from --name).
bool formatVolume(TScsifile& sf, MessageService& prompt);

// The number of filemarks in front of set `number`'s catalogue file (2n - 1), or -1
// when a SPACE cannot carry it (its count is 24 bits wide).
int32_t filemarksBeforeSet(int32_t number);

}  // namespace korv
