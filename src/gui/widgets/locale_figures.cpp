#include "gui/widgets/locale_figures.h"

#include "jobs/progress_math.h"

namespace korv::gui {

namespace {

// The core formats with ',' and '.'; each becomes the locale's own, which may be more
// than one byte (a narrow no-break space, an Arabic comma).
QString localised(const std::string& text, const QLocale& locale) {
  QString out;
  out.reserve(static_cast<int>(text.size()));
  for (char c : text) {
    if (c == ',')
      out += locale.groupSeparator();
    else if (c == '.')
      out += locale.decimalPoint();
    else
      out += QLatin1Char(c);
  }
  return out;
}

}  // namespace

QString countText(double value, int width, const QLocale& locale) {
  return localised(jobs::formatCount(value, width), locale);
}

QString megabytesText(double value, const QLocale& locale) {
  return localised(jobs::formatMegabytes(value), locale);
}

QChar dateSeparator(const QLocale& locale) {
  for (QChar c : locale.dateFormat(QLocale::ShortFormat))
    if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\'')) return c;
  return QLatin1Char('/');
}

QString startTimeText(std::time_t t, const QLocale& locale) {
  const QChar separator = dateSeparator(locale);
  // The core takes one byte; anything wider is put in afterwards.
  QString text = QString::fromStdString(jobs::formatStartTime(t, '/'));
  return text.replace(QLatin1Char('/'), separator);
}

}  // namespace korv::gui
