#pragma once
// The time forms the tape format uses:
//  - date-time: a double of days since 1899-12-30 00:00 local time, the fraction being
//    the time of day (label and set header);
//  - packed: the DOS date in the high 16 bits and the DOS time in the low 16 bits, local
//    time, two-second steps; catalogue entries hold that 32-bit value as a double;
//  - FILETIME: 100 ns intervals since 1601-01-01 UTC (find-data record).

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace korv {

double toDateTime(std::time_t t, long nanoseconds = 0);  // local time
double nowDateTime();
std::time_t fromDateTime(double dateTime);  // local time, to the second

uint32_t packDosDateTime(std::time_t t);         // local time; 1980-01-01 is the floor
std::time_t unpackDosDateTime(uint32_t packed);  // -1 when the fields are no valid date
bool isValidDosDateTime(uint32_t packed);
// The 32-bit packed value a catalogue entry holds as a double; nullopt when the double is
// not a whole number in 0 .. 2^32-1 (a damaged or foreign entry).
std::optional<uint32_t> packedFromDouble(double packed);

uint64_t toFileTime(std::time_t seconds, long nanoseconds);
struct timespec fromFileTime(uint64_t fileTime);

// "yyyy-mm-dd hh:mm:ss" and "yyyy-mm-ddThh:mm:ss" of a packed value held as a double
// (as a catalogue entry has it); "" when it does not unpack to a valid date.
std::string formatPacked(double packed, char separator = ' ');

// A readable local date and time ("2026/12/07 10:20:30"), as offered in the default
// tape name.
std::string formatLocalDateTime(std::time_t t);

}  // namespace korv
