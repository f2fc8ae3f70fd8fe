#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// A private home for one test: HOME and the XDG folders point into a temporary folder, so no
// test touches the real user's settings, scripts or logs.
class TestHome {
public:
    TestHome()
    {
        QVERIFY2(m_dir.isValid(), "cannot create a temporary folder");
        for (const char *name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR" })
            m_saved.append({ name, qgetenv(name) });
        m_saved.append({ "HOME", qgetenv("HOME") });
        qputenv("HOME", m_dir.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_dir.path() + QStringLiteral("/config")).toUtf8());
        qputenv("XDG_DATA_HOME", (m_dir.path() + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", (m_dir.path() + QStringLiteral("/runtime")).toUtf8());
    }
    ~TestHome()
    {
        for (const auto &[name, value] : m_saved) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const { return m_dir.filePath(relative); }

private:
    QTemporaryDir m_dir;
    QList<std::pair<const char *, QByteArray>> m_saved;
};

// Writes a file (creating its folders) with the given text; returns its absolute path.
inline QString writeFile(
    const QString &path, const QByteArray &contents = QByteArray("#!/bin/bash\n"))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(contents);
    return QFileInfo(path).absoluteFilePath();
}
