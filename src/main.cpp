#include "cli/Cli.h"

#include <QCoreApplication>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("runel"));
    // The commands report every problem themselves, in their own words; the core's log lines
    // would say the same twice. QT_LOGGING_RULES still overrides this.
    QLoggingCategory::setFilterRules(QStringLiteral("runel.*.warning=false"));
    runel::cli::Console console = runel::cli::Console::standard();
    // Without a subcommand this execs runel-app, the tray app, in this same process.
    return runel::cli::run(QCoreApplication::arguments().mid(1), console);
}
