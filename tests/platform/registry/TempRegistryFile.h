#pragma once
// Points the settings store at a file in a fresh temporary folder for one test, collects the
// message boxes shown meanwhile, and puts both back afterwards.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "MessageBoxHook.h"
#include "RegistryStore.h"

class TempRegistryFile {
public:
    TempRegistryFile() {
        Previous = kivra::SetMessageBoxHandler(
            [this](const std::string &text, const std::string &caption, unsigned) {
                messages.push_back(caption + ": " + text);
                return kivra::IDOK;
            });
        kivra::RegistryStore::SetFilePath(Path());
    }
    ~TempRegistryFile() {
        kivra::RegistryStore::SetFilePath(QString());
        kivra::SetMessageBoxHandler(Previous);
    }
    TempRegistryFile(const TempRegistryFile &) = delete;
    TempRegistryFile &operator=(const TempRegistryFile &) = delete;

    QString Folder() const { return Dir.path(); }
    QString Path() const { return Dir.filePath(QStringLiteral("settings.reg")); }

    QByteArray Contents() const {
        QFile f(Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void SetContents(const QByteArray &bytes) const {
        QFile f(Path());
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
    // Forgets what the store holds in memory, so the next use reads the file again.
    void Reload() const { kivra::RegistryStore::SetFilePath(Path()); }

    std::vector<std::string> messages;

private:
    QTemporaryDir Dir;
    kivra::MessageBoxHandler Previous;
};
