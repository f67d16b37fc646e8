#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A config folder of the test's own, so the registry hive is a fresh real file there;
// the data folder (the run journal) lies in it too, under "data".
class ConfigFolder
{
public:
    ConfigFolder()
        : m_hadValue(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")),
          m_saved(qgetenv("XDG_CONFIG_HOME")),
          m_hadData(qEnvironmentVariableIsSet("XDG_DATA_HOME")),
          m_savedData(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    }
    ~ConfigFolder()
    {
        if (m_hadValue)
            qputenv("XDG_CONFIG_HOME", m_saved);
        else
            qunsetenv("XDG_CONFIG_HOME");
        if (m_hadData)
            qputenv("XDG_DATA_HOME", m_savedData);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    ConfigFolder(const ConfigFolder &) = delete;
    ConfigFolder &operator=(const ConfigFolder &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path() + QStringLiteral("/tachoflux"); }
    QString hive() const { return folder() + QStringLiteral("/registry.reg"); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
    // Where the program keeps its run journal.
    QString dataFolder() const { return dataHome() + QStringLiteral("/tachoflux"); }

    QByteArray hiveBytes() const
    {
        QFile file(hive());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeHive(const QByteArray &bytes) const
    {
        QDir().mkpath(folder());
        QFile file(hive());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
    }
    // Names in the program's folder, sorted.
    QStringList files() const
    {
        return QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                        QDir::Name);
    }

private:
    QTemporaryDir m_dir;
    bool m_hadValue;
    QByteArray m_saved;
    bool m_hadData;
    QByteArray m_savedData;
};
