#include "platform/commandline.h"

#include <QCommandLineParser>

#include <map>

namespace qarn3 {

namespace {

// Arguments are bytes, not always UTF-8 (a file name): each byte goes through the parser as
// one character and comes back as the same byte.
QString q(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string bytes(const QString& s) {
    return s.toLatin1().toStdString();
}

// The option as written: one dash before a one-letter name, two before a longer one.
std::string spelled(const QString& name) {
    return (name.size() == 1 ? "-" : "--") + bytes(name);
}

// The name of a "--name" or "--name=value" argument.
std::string longName(const std::string& arg) {
    return arg.substr(2, arg.find('=') - 2);
}

// One reading by QCommandLineParser; false when it failed, with the unknown names.
class Reading {
public:
    explicit Reading(const std::vector<OptionSpec>& options) : m_specs(options) {
        for (std::size_t i = 0; i < options.size(); ++i) {
            QStringList names;
            for (const std::string& n : options[i].names) {
                names << q(n);
                m_optionOf[q(n)] = i;
            }
            m_options.emplace_back(names);
            if (options[i].takesValue) m_options.back().setValueName("value");
            m_parser.addOption(m_options.back());
        }
    }

    bool read(const std::vector<std::string>& args, CommandLine& line) {
        QStringList argv{"program"};
        for (const std::string& a : args)
            argv << q(a);
        if (!m_parser.parse(argv)) return false;
        // Each option's values in the order given, taken one at a time as its names come.
        std::vector<QStringList> values(m_specs.size());
        std::vector<qsizetype> taken(m_specs.size(), 0);
        for (std::size_t i = 0; i < m_specs.size(); ++i)
            if (m_specs[i].takesValue) values[i] = m_parser.values(m_options[i]);
        for (const QString& name : m_parser.optionNames()) {
            const std::size_t i = m_optionOf.at(name);
            GivenOption given{spelled(name), std::nullopt};
            if (m_specs[i].takesValue && taken[i] < values[i].size())
                given.value = bytes(values[i][taken[i]++]);
            line.options.push_back(std::move(given));
        }
        for (const QString& a : m_parser.positionalArguments())
            line.arguments.push_back(bytes(a));
        return true;
    }

    const QStringList unknown() const { return m_parser.unknownOptionNames(); }
    // The option a name names, if any.
    const OptionSpec* named(const std::string& name) const {
        const auto it = m_optionOf.find(q(name));
        return it == m_optionOf.end() ? nullptr : &m_specs[it->second];
    }

private:
    const std::vector<OptionSpec>& m_specs;
    QCommandLineParser m_parser;
    std::vector<QCommandLineOption> m_options;
    std::map<QString, std::size_t> m_optionOf;
};

// The options given before the argument at index `at`, and why that argument failed.
CommandLine failedAt(const std::vector<std::string>& args, std::size_t at,
                     const std::vector<OptionSpec>& options, std::string error) {
    CommandLine line;
    Reading(options).read({args.begin(), args.begin() + static_cast<long>(at)}, line);
    line.arguments.clear();
    line.error = std::move(error);
    return line;
}

// The index of the first argument that is neither an option nor an option's value.
std::size_t firstArgument(const std::vector<std::string>& args, const Reading& names) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--" || a.size() < 2 || a[0] != '-') return i;
        if (a[1] == '-') {
            const OptionSpec* s = names.named(longName(a));
            if (s && s->takesValue && a.find('=') == std::string::npos) ++i;
            continue;
        }
        // One letter (its value split off before).
        const OptionSpec* s = names.named(a.substr(1));
        if (s && s->takesValue) ++i;
    }
    return args.size();
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& options, bool argumentsAllowed) {
    // Before the parser reads them: two dashes go only before names of two letters or more; a
    // switch given a value ("--json=1") is the switch; one dash goes before one letter only,
    // whose value, when it takes one, is the rest of the argument as written ("-j4", "-o=x"
    // writes "=x"), so that "-hh" is an unknown option, not two. An option's value is never
    // read as an option. The first failure here ends what the parser is given.
    std::vector<std::string> given = args;
    const Reading names(options);
    std::size_t at = 0; // the argument that failed
    std::string error;
    for (std::size_t i = 0; i < given.size() && given[i] != "--"; ++i) {
        const std::string a = given[i];
        if (a.size() < 2 || a[0] != '-') continue;
        if (a[1] == '-') {
            const std::string name = longName(a);
            const OptionSpec* s = names.named(name);
            if (name.size() == 1) {
                at = i;
                error = "unknown option --" + name;
                break;
            }
            if (s && !s->takesValue) given[i] = "--" + name;
            if (s && s->takesValue && a.find('=') == std::string::npos) ++i;
            continue;
        }
        const OptionSpec* s = names.named(a.substr(1, 1));
        if (a.size() > 2 && !(s && s->takesValue)) {
            at = i;
            error = "unknown option " + a;
            break;
        }
        if (a.size() > 2) {
            given[i].resize(2);
            given.insert(given.begin() + static_cast<long>(i) + 1, a.substr(2));
        }
        if (s && s->takesValue) ++i;
    }
    if (error.empty()) at = given.size(); // with the values split off
    const std::vector<std::string> head(given.begin(), given.begin() + static_cast<long>(at));

    Reading reading(options);
    CommandLine line;
    if (!reading.read(head, line)) {
        const QStringList unknown = reading.unknown();
        if (unknown.isEmpty()) { // the one other failure: a value option last, with nothing after
            at = head.size() - 1;
            error = head.back() + " needs a value";
        } else {
            // The first argument naming an option the parser did not know, as it was written
            // (a "--name=value" by its name); an option's value names none.
            at = 0;
            error = "unknown option " + spelled(unknown.front());
            for (std::size_t i = 0; i < head.size() && head[i] != "--"; ++i) {
                const std::string& a = head[i];
                if (a.size() < 2 || a[0] != '-') continue;
                const bool twoDashes = a[1] == '-';
                const std::string name = twoDashes ? longName(a) : a.substr(1);
                if (unknown.contains(q(name))) {
                    at = i;
                    error = "unknown option " + (twoDashes ? "--" + name : a);
                    break;
                }
                const OptionSpec* s = names.named(name);
                if (s && s->takesValue && !(twoDashes && a.find('=') != std::string::npos)) ++i;
            }
        }
    }
    if (!argumentsAllowed)
        if (const std::size_t i = firstArgument(head, names); i < at) {
            at = i;
            error = "unknown option " + given[i];
        }
    if (at == given.size()) return line;
    return failedAt(given, at, options, error);
}

} // namespace qarn3
