#include "Arguments.h"

#include "Console.h"

using namespace Qt::StringLiterals;

namespace runel::cli {

std::optional<QString> Arguments::value(const QString &option) const
{
    const auto found = m_values.constFind(option);
    if (found == m_values.cend())
        return std::nullopt;
    return *found;
}

struct ArgumentParser {
    const std::vector<Option> &options;
    const QStringList &required;
    const QStringList &optional;
    Arguments result;
    QString error;

    const Option *find(QStringView name) const
    {
        for (const Option &option : options) {
            if (option.name == name)
                return &option;
        }
        return nullptr;
    }

    // Keeps the first error only: it is the one the user should fix first.
    void fail(const QString &message)
    {
        if (error.isEmpty())
            error = message;
    }

    void parse(const QStringList &arguments)
    {
        bool optionsEnded = false;
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString &argument = arguments.at(i);
            if (optionsEnded || argument == u"-" || !argument.startsWith(u'-')) {
                result.m_positionals.append(argument);
                continue;
            }
            if (argument == u"--") {
                optionsEnded = true;
                continue;
            }
            if (argument == u"-h" || argument == u"--help") {
                result.m_helpRequested = true;
                continue;
            }
            const qsizetype equals = argument.indexOf(u'=');
            const QString name = equals < 0 ? argument : argument.left(equals);
            const Option *option = find(name);
            if (!option) {
                fail(u"unknown option '%1'"_s.arg(printable(name)));
                continue;
            }
            if (option->valueName.isEmpty()) {
                if (equals >= 0)
                    fail(u"option '%1' takes no value"_s.arg(name));
                result.m_values.insert(name, QString());
            } else {
                // An empty value ("--dir=", "--dir ''") is as good as none where every value
                // names something.
                std::optional<QString> value;
                if (equals >= 0)
                    value = argument.mid(equals + 1);
                else if (i + 1 < arguments.size())
                    value = arguments.at(++i);
                if (!value || (value->isEmpty() && !option->acceptsEmpty))
                    fail(u"option '%1' needs a value (%2)"_s.arg(name, option->valueName));
                else
                    result.m_values.insert(name, *value);
            }
        }

        const qsizetype given = result.m_positionals.size();
        const qsizetype most = required.size() + optional.size();
        // The last optional positional may stand for any number ("PATH...").
        const bool unbounded = !optional.isEmpty() && optional.constLast().endsWith(u"...");
        if (given < required.size())
            fail(u"missing %1"_s.arg(required.mid(given).join(u' ')));
        else if (given > most && !unbounded)
            fail(u"unexpected argument '%1'"_s.arg(printable(result.m_positionals.at(most))));
    }
};

ParsedArguments parseArguments(const QStringList &arguments, const std::vector<Option> &options,
    const QStringList &required, const QStringList &optional)
{
    ArgumentParser parser { options, required, optional, {}, {} };
    parser.parse(arguments);
    if (parser.result.helpRequested())
        parser.error.clear();
    return { std::move(parser.result), std::move(parser.error) };
}

} // namespace runel::cli
