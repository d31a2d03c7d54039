// Shared helpers for the file tests: a new empty folder for each test
// function, and files written byte for byte.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// Writes bytes to path as they are; whether all of them were written.
inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A new empty folder for each test function: the test class derives from
// it and calls renewFolder() from its init() slot.
class ScratchFolder
{
protected:
    bool renewFolder()
    {
        dir = std::make_unique<QTemporaryDir>();
        return dir->isValid();
    }
    QString file(const QString &name) const { return dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir;
};

} // namespace TestSupport
