#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// An option a command line may give: its names ("range"; "j" and "jobs"), each written with
// two dashes, a one-letter name also with one ("-j 4", "-j4"; one letter a dash, so "-hh" is
// unknown), and whether it takes a value.
struct OptionSpec {
    std::vector<std::string> names;
    bool takesValue = false;
};

// One option as given, in the order given: as it was written ("--range", "-j") and its value.
struct GivenOption {
    std::string spelling;
    std::optional<std::string> value;
};

// A command line read against its options (by QCommandLineParser): the options in order, the
// other arguments in order, and why it could not be read ("unknown option --bogus", "--range
// needs a value"), empty when it could; then the options are those given before the argument
// that failed, so that a caller can report a bad value among them first, as a reader going
// from left to right would. "--name=value" is the same as "--name value"; "--" ends the
// options.
struct CommandLine {
    std::vector<GivenOption> options;
    std::vector<std::string> arguments;
    std::string error;
};

// A program that takes no other arguments (argumentsAllowed false) calls each of them, and
// "--", an unknown option.
CommandLine parseCommandLine(const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& options, bool argumentsAllowed = true);

} // namespace qarn3
