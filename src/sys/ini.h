#pragma once
// A small private-profile reader and writer: "[section]" lines and "key=value" lines,
// section and key names matched without regard to ASCII case, the file opened for each
// call and never kept open. Names and values are passed as the file holds them (CP932).

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korv {

// The value of key in section, or nullopt when the file, the section or the key is missing.
std::optional<std::string> readProfileString(const std::string& path, const std::string& section,
                                             const std::string& key);

// Sets key in section (creating the file, the section or the key as needed), keeping every
// other line of the file as it was. False when the file cannot be written.
bool writeProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

// Sets several keys of one section in a single rewrite of the file (the same rules as
// writeProfileString). The file is replaced atomically: a crash leaves the old or the new.
bool writeProfileStrings(const std::string& path, const std::string& section,
                         const std::vector<std::pair<std::string, std::string>>& entries);

// The private-profile integer rule: decimal with an optional sign, "$" hex, or "0x" hex
// when longer than two characters; nullopt when the text is no integer.
std::optional<long long> parseProfileInteger(const std::string& text);

}  // namespace korv
