#include "cli/Cli.h"
#include "core/execution/LateOutputCopier.h"
#include "core/execution/ScriptExecutionCoordinator.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstring>

int main(int argc, char *argv[])
{
    // Started by a run of this program or of the app, never by the user: see LateOutputCopier.
    if (argc == 2 && std::strcmp(argv[1], runel::LateOutputCopier::copierArgument) == 0)
        return runel::LateOutputCopier::run();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("runel"));
    // The commands report every problem themselves, in their own words; the core's log lines
    // would say the same twice. QT_LOGGING_RULES still overrides this.
    QLoggingCategory::setFilterRules(QStringLiteral("runel.*.warning=false"));
    runel::ScriptExecutionCoordinator::setLateOutputCopier(QCoreApplication::applicationFilePath());
    runel::cli::Console console = runel::cli::Console::standard();
    // Without a subcommand this execs runel-app, the tray app, in this same process.
    return runel::cli::run(QCoreApplication::arguments().mid(1), console);
}
