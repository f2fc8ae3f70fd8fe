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
    // The tray app will start here when no subcommand is given; until then that prints help.
    return runel::cli::run(QCoreApplication::arguments().mid(1), console);
}
