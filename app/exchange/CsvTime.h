#pragma once
// The times of CSV text: written as the locale's time and date ("<time>  <date>", the text of
// GetLocaleTimeDate) and read back with StringToTime. Both run once per row of large files, so
// the writer caches the texts of seconds and days and the reader the day of the last date text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zyn::csv {

// Dates before this one (28 November 2004) are times without a date and are moved to today.
inline constexpr double kEarliestDate = 38319.0;

// Writes the locale time-and-date text of a time value, exactly as GetLocaleTimeDate does, in
// UTF-8. Built for one locale: make a new one after the locale changes.
class CCsvTimeWriter {
public:
    CCsvTimeWriter();
    // Appends the text; false (nothing appended) for a value that is not a valid date.
    bool Append(double t, std::string& out);
    // Appends the time to the millisecond, "YYYY-MM-DD HH:MM:SS.mmm" whatever the locale (the form
    // the reader takes back exactly); false (nothing appended) for a value that is not a valid date.
    static bool AppendMilliseconds(double t, std::string& out);

private:
    bool m_cacheable = false; // the time form uses only clock fields
    std::vector<std::string> m_seconds;
    std::vector<bool> m_haveSecond;
    long m_day = -2147483647;
    std::string m_dayText;
};

// Reads a date-time text in the locale's forms. 0 for empty or unreadable text; a value before
// kEarliestDate (a time without a date) is moved to today. Keeps the last date it read.
class CCsvTimeReader {
public:
    CCsvTimeReader();
    double Parse(std::u16string_view text);
    // For tests: the day "today" stands for (the integral day of the current time by default).
    void SetToday(double day) { m_today = day; }

private:
    double ParseUtf8(std::string_view text);
    bool ParseDate(std::string_view text, double& day);
    static bool ParseMilliseconds(std::string_view text, double& t);
    double MoveToToday(double t) const;

    std::string m_timeForm, m_dateForm;
    bool m_plainClock = false; // the time form is %H:%M:%S
    double m_today = -1.0;
    std::string m_lastDateText;
    double m_lastDate = 0.0;
    std::string m_scratch;
};

// One-off form of CCsvTimeReader::Parse.
double StringToTime(std::u16string_view text);

} // namespace zyn::csv
