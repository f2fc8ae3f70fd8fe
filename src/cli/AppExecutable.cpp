#include "AppExecutable.h"

#include "core/SystemError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace runel::cli {

#ifndef RUNEL_APP_FROM_BINDIR
#error "RUNEL_APP_FROM_BINDIR must be defined by the build"
#endif

QString appExecutablePath()
{
    const QString directory = QCoreApplication::applicationDirPath();
    const QString beside = directory + u"/runel-app"_s;
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QFileInfo(directory + u"/"_s + QLatin1StringView(RUNEL_APP_FROM_BINDIR))
        .absoluteFilePath();
}

int execApp(std::optional<InstanceCommand> command, const QString &keys, Console &console)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        console.printError(u"runel: cannot start the app: there is no display (DISPLAY and "
                           u"WAYLAND_DISPLAY are unset). Start it from a desktop session; the "
                           u"commands of 'runel --help' that read the scripts folder work "
                           u"without one.\n"_s);
        return exitFailure;
    }
    const QString program = appExecutablePath();
    const QByteArray nativeProgram = QFile::encodeName(program);
    // "runel-app show-keys KEYS": the keys as the next argument, in UTF-8.
    const QByteArray argument = command ? instanceCommandName(*command).toUtf8() : QByteArray();
    const QByteArray keysArgument = keys.toUtf8();
    const bool withKeys = command == InstanceCommand::showKeys;
    char *arguments[] = { const_cast<char *>(nativeProgram.constData()),
        command ? const_cast<char *>(argument.constData()) : nullptr,
        withKeys ? const_cast<char *>(keysArgument.constData()) : nullptr, nullptr };
    std::fflush(stdout);
    std::fflush(stderr);
    execv(nativeProgram.constData(), arguments);
    console.printError(u"runel: cannot start the app %1: %2. Reinstall Runel, or build it with "
                       u"tools/run.\n"_s.arg(program, systemErrorText(errno)));
    return exitFailure;
}

} // namespace runel::cli
