#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A fresh, empty working directory for one test, with or without a
// "help.hlp" in it (the first place Contents looks); the old working
// directory comes back when it goes.
class ScratchDirectory {
public:
    explicit ScratchDirectory(bool withHelpFile)
        : m_oldDir(QDir::currentPath())
    {
        m_ready = m_dir.isValid() && QDir::setCurrent(m_dir.path());
        if (m_ready && withHelpFile) {
            QFile file(m_dir.filePath(QStringLiteral("help.hlp")));
            m_ready = file.open(QIODevice::WriteOnly);
        }
    }
    ~ScratchDirectory() { QDir::setCurrent(m_oldDir); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    bool isReady() const { return m_ready; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_oldDir;
    bool m_ready = false;
};
