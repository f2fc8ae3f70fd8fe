#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>

// Runs the built runel binary for the command-line tests.
namespace runel::test {

struct Run {
    int exitCode = -1; // -1 when the process crashed or timed out
    QByteArray out;
    QByteArray err;
};

// ctest names the binary in RUNEL_BINARY; run alone, a test uses the one it was built with.
inline QString runelBinary()
{
    return qEnvironmentVariable("RUNEL_BINARY", QStringLiteral(RUNEL_BUILT_BINARY));
}

// Runs runel with the test's current environment (a TestHome redirects HOME and the XDG
// folders), input on its standard input. wrapper, when given, is a command that runs runel
// (setpriv ...).
inline Run runRunel(
    const QStringList &arguments, const QStringList &wrapper = {}, const QByteArray &input = {})
{
    const QString binary = runelBinary();
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    if (wrapper.isEmpty())
        process.start(binary, arguments);
    else
        process.start(wrapper.constFirst(), wrapper.mid(1) + QStringList { binary } + arguments);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

// Without exceptions: invalid JSON, including invalid UTF-8, comes back discarded.
inline nlohmann::json parsedJson(const QByteArray &text)
{
    return nlohmann::json::parse(text.constData(), text.constData() + text.size(), nullptr, false);
}

// Whether text is all of pattern, where '*' stands for any text and all else for itself.
inline bool wholeMatch(const QString &pattern, const QByteArray &text)
{
    QStringList parts = pattern.split(u'*');
    for (QString &part : parts)
        part = QRegularExpression::escape(part);
    return QRegularExpression(QRegularExpression::anchoredPattern(parts.join(QStringLiteral(".*"))),
        QRegularExpression::DotMatchesEverythingOption)
        .match(QString::fromUtf8(text))
        .hasMatch();
}

} // namespace runel::test
