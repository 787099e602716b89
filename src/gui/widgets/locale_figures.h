#pragma once
// The dialogs' figures in the user's locale: counts and megabytes with the locale's
// thousands separator and decimal point, the start time with its date separator. The
// arithmetic and the widths are the core's (progress_math); only the separators are
// the locale's.

#include <QLocale>
#include <QString>

#include <ctime>

namespace korv::gui {

// "%13.0n" / "%19.0n": grouped, no decimals, right-aligned in `width` characters.
QString countText(double value, int width, const QLocale& locale = QLocale());
// "%10n": grouped, two decimals, right-aligned in 10 characters.
QString megabytesText(double value, const QLocale& locale = QLocale());
// "yyyy/mm/dd hh.nn.ss" in local time, the slashes being the locale's date separator.
QString startTimeText(std::time_t t, const QLocale& locale = QLocale());
// The locale's date separator as its short date format shows it ('/' when it shows none).
QChar dateSeparator(const QLocale& locale = QLocale());

}  // namespace korv::gui
