#pragma once
// Points the settings store at a file in a fresh temporary folder for one test (as
// KIVRA_REGISTRY_FILE does for the program) and back to the default afterwards.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QTemporaryDir>

class TempSettingsFile {
public:
    TempSettingsFile();
    ~TempSettingsFile();
    TempSettingsFile(const TempSettingsFile &) = delete;
    TempSettingsFile &operator=(const TempSettingsFile &) = delete;

    QString Folder() const { return Dir.path(); }
    QString Path() const;

    QByteArray Contents() const;
    // What each copy the store kept aside of a damaged file ("settings.reg.damaged-...") holds.
    QByteArrayList KeptAside() const;
    // Replaces the file and makes the store read it again.
    void SetContents(const QByteArray &bytes) const;
    // Replaces the file behind the store's back (as another program would): what the store holds
    // in memory stays.
    void WriteContents(const QByteArray &bytes) const;
    // Forgets what the store holds in memory, so the next use reads the file again (a restart).
    void Reload() const;

private:
    QTemporaryDir Dir;
};
