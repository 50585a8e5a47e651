#include "TempSettingsFile.h"

#include "RegistryStore.h"

#include <QFile>

TempSettingsFile::TempSettingsFile() { kivra::RegistryStore::SetFilePath(Path()); }

TempSettingsFile::~TempSettingsFile() { kivra::RegistryStore::SetFilePath(QString()); }

QString TempSettingsFile::Path() const { return Dir.filePath(QStringLiteral("settings.reg")); }

QByteArray TempSettingsFile::Contents() const {
    QFile f(Path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
