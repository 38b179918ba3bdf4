#pragma once

#include "engine/analysis.h"
#include "platform/textformat.h" // csvField

#include <string>

namespace qarn3 {

struct TWaveformData;

// Forms the analysis tool can write its results in.
enum class OutputFormat { Text, Json, JsonLines, Csv };

// The pulse table: a header record, then one record per pulse, or one record with the pulse
// fields empty for a file without a pulse or one that could not be analysed (its reason in
// the last field). Records end with CR LF; numbers use '.' whatever the locale. withCycles
// adds the cycle columns after those: one record per cycle of a pulse with a cycle table,
// the pulse's fields repeated; empty cycle fields where there is no table.
std::string csvHeader(bool withCycles = false);
std::string csvRecords(const AnalysisResult& r, bool withCycles = false);

// The result of one file as one JSON object on one line; a file that could not be analysed
// gives {"file": ..., "error": ...}.
std::string jsonLine(const AnalysisResult& r);

// The text form of one file; an analysis that failed gives nothing (its reason goes to
// standard error).
std::string textBlock(const AnalysisResult& r, bool withHeading);

// A read waveform's samples as CSV: comment lines with the file's serial/ID, wave type,
// sample rate and amperes per count, a header record, then one record per sample the program
// plays (time in seconds, current in amperes). fileBytes is the length of the file, to say
// when it held fewer samples than its header promises.
std::string waveformCsv(const std::string& fileName, const TWaveformData& wave,
                        long long fileBytes);

// The JSON forms' string contents (quotes, backslashes and control characters escaped, a
// byte outside a well-formed UTF-8 sequence as U+FFFD, so that every line stays JSON), for
// other writers of JSON; their numbers: jsonNumberText (platform/textformat.h).
std::string jsonEscaped(const std::string& s);

} // namespace qarn3
