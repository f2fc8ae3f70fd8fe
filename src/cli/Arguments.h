#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace runel::cli {

// One option a subcommand accepts. A flag has no valueName; an option with a value takes it
// as the next argument or after "=" ("--dir PATH", "--dir=PATH").
struct Option {
    QString name; // with its dashes: "--dir"
    QString valueName; // "PATH"; empty for a flag
    QString help;
    // Whether "" is a value of its own (a script's argument) rather than a value left out
    // (a folder).
    bool acceptsEmpty = false;
};

class Arguments {
public:
    bool has(const QString &option) const { return m_values.contains(option); }
    // The value of an option with a value; the last one wins when it is given twice.
    std::optional<QString> value(const QString &option) const;
    const QStringList &positionals() const { return m_positionals; }
    bool helpRequested() const { return m_helpRequested; }

private:
    friend struct ArgumentParser;
    QHash<QString, QString> m_values;
    QStringList m_positionals;
    bool m_helpRequested = false;
};

struct ParsedArguments {
    Arguments arguments;
    QString error; // for the user, without the hint; empty when the arguments are usable
};

// Parses a subcommand's arguments (without the subcommand's name). "-h" or "--help" anywhere
// before "--" asks for help and wins over every other error; "--" ends the options, so that
// "-" and arguments beginning with "-" can be given as positionals. Exactly
// required.size() positionals, and up to optional.size() more, are accepted; any number more
// when the last optional name ends in "..." ("PATH...").
ParsedArguments parseArguments(const QStringList &arguments, const std::vector<Option> &options,
    const QStringList &required, const QStringList &optional = {});

} // namespace runel::cli
