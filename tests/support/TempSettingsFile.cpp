#include "TempSettingsFile.h"

#include "RegistryStore.h"

#include <QDir>
#include <QFile>

TempSettingsFile::TempSettingsFile() { kivra::RegistryStore::SetFilePath(Path()); }

TempSettingsFile::~TempSettingsFile() { kivra::RegistryStore::SetFilePath(QString()); }

QString TempSettingsFile::Path() const { return Dir.filePath(QStringLiteral("settings.reg")); }

QByteArray TempSettingsFile::Contents() const {
    QFile f(Path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArrayList TempSettingsFile::KeptAside() const {
    QByteArrayList copies;
    const QDir folder(Folder());
    for (const QString &name :
         folder.entryList({QStringLiteral("settings.reg.damaged-*")}, QDir::Files, QDir::Name)) {
        QFile f(folder.filePath(name));
        copies << (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    return copies;
}

void TempSettingsFile::SetContents(const QByteArray &bytes) const {
    WriteContents(bytes);
    Reload();
}

void TempSettingsFile::WriteContents(const QByteArray &bytes) const {
    QFile f(Path());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

void TempSettingsFile::Reload() const { kivra::RegistryStore::SetFilePath(Path()); }
