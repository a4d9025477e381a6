// What mervik-cli learns of each pair from the comparison program's summary,
// and the line it appends to a --report file.
#pragma once

#include <QJsonObject>

#include <string>

namespace mervik {

struct PairOutcome {
    std::string file1;
    std::string file2;
    std::string result;  // empty when the pass wrote none
    bool complete = false;
    // The comparison program's summary of the pass; empty when it left none.
    QJsonObject comparison;
    bool differ() const;
};

// Reads the summary at path; an empty object when it is missing or not JSON.
QJsonObject readComparison(const std::string& path);

// One line of JSON (without the line end) for the pair.
std::string reportLine(const PairOutcome& pair);

// Appends line and a line end to the file at path, creating it. False when
// the file cannot be written.
bool appendReportLine(const std::string& path, const std::string& line);

}  // namespace mervik
