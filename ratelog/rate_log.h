// The rate log: one text file per currency pair, a stamped line per poll.
#pragma once

#include <ctime>
#include <string>

struct CLogState {
    bool bLogOn = false;         // off at every start, whatever was saved
    std::string LogStampFormat;  // strftime form, built at switch-on
    std::string FolderPath;      // UTF-8; ends in a separator when chosen; empty = current folder
};

extern CLogState LogState;

// Appends one line for the polled rate to the pair's file. pair is the
// on-screen window's label ("USD->JPY "). Called for every successful poll
// while LogState.bLogOn.
void WriteRateLog(std::string pair, double rate);

// The stamp form for the page's radio indices (date 0..3, time 0..2,
// delimiter 0..2); an index outside its group adds nothing.
std::string LogStampFormatFor(int dateIndex, int timeIndex, int delimiterIndex);

// "USD->JPY " -> "USD_JPY .TXT": one file per pair and direction.
std::string LogFileName(const std::string& pair);

// One whole line as it goes into the file: the stamp of the given local time,
// the rate with four decimals, CR LF. A stamp that comes out empty or longer
// than 127 bytes is left out.
std::string RateLogLine(const std::string& stampFormat, const std::tm& localTime, double rate);
