#pragma once

// What the commands of qarn3-records share across their files.
#include "recordstool/tool.h"
#include "store/database.h"

#include <QCommandLineParser>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qarn3::recordstool {

// A command line that cannot be followed: exit status 2, the usage follows the message.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value that parses but a record cannot hold (exit status 1 with the field named), or a
// database or file that cannot be used (named).
class FieldRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Arguments pass through the parser as Latin-1, one character a byte, and come back byte for
// byte: a file name that is not UTF-8 reaches the file system as it was given (the parser
// reads only the ASCII of the options).
inline QString argText(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string argBytes(const QString& s) {
    return s.toLatin1().toStdString();
}

inline QStringList toQt(const std::string& program, const std::vector<std::string>& args) {
    QStringList l{argText(program)};
    for (const std::string& a : args)
        l << argText(a);
    return l;
}

inline std::vector<std::string> fromQt(const QStringList& l) {
    std::vector<std::string> v;
    for (const QString& s : l)
        v.push_back(argBytes(s));
    return v;
}

// A command's parser: its options, each taking a value unless listed as a flag.
class Options {
public:
    Options(const std::vector<std::string>& withValue, const std::vector<std::string>& flags = {}) {
        m_p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const std::string& name : withValue)
            add(name, true);
        for (const std::string& name : flags)
            add(name, false);
        add("db", true);
        add("help", false);
    }
    void parse(const std::string& command, const std::vector<std::string>& args) {
        if (!m_p.parse(toQt("qarn3-records " + command, args)))
            throw UsageError(argBytes(m_p.errorText()));
    }
    bool has(const std::string& name) const { return m_p.isSet(QString::fromStdString(name)); }
    std::string value(const std::string& name) const {
        return argBytes(m_p.value(QString::fromStdString(name)));
    }
    std::string required(const std::string& name) const {
        if (!has(name)) throw UsageError("--" + name + " is needed");
        return value(name);
    }
    std::vector<std::string> values(const std::string& name) const {
        return fromQt(m_p.values(QString::fromStdString(name)));
    }
    std::vector<std::string> positional() const { return fromQt(m_p.positionalArguments()); }

private:
    void add(const std::string& name, bool takesValue) {
        QStringList names{QString::fromStdString(name)};
        if (name == "output") names.prepend("o");
        if (name == "jobs") names.prepend("j");
        m_p.addOption(takesValue ? QCommandLineOption(names, {}, "value")
                                 : QCommandLineOption(names));
    }
    QCommandLineParser m_p;
};

// Opens the database --db names (QARN3.db in the data folder without it); mustExist: a
// reading command makes no new file and leaves a damaged one as it is (refused). Notes go
// to the error stream; failures throw.
std::unique_ptr<RecordsDatabase> openDatabase(const Options& o, RecordsToolEnvironment& env,
                                              bool mustExist);

// The commands in tool_curves.cpp.
int runCurves(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runTripUnits(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runPlans(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runApprove(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runNote(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runHistory(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runDue(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runReport(const std::vector<std::string>& args, RecordsToolEnvironment& env);

// The command in tool_waveform.cpp.
int runWaveform(const std::vector<std::string>& args, RecordsToolEnvironment& env);

// The commands in tool_sync.cpp.
int runSync(const std::vector<std::string>& args, RecordsToolEnvironment& env);
int runSchema(const std::vector<std::string>& args, RecordsToolEnvironment& env);

} // namespace qarn3::recordstool
