// The rate log: one text file per currency pair, a stamped line per poll.
#pragma once

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
