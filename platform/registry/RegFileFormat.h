#pragma once
// The text form of the settings tree: the registry editor's export format, so that a person can
// read the file and settings exported on Windows can be taken over.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Vornix\Kivrawatch]
//   "RefreshInterval"=dword:00000001
//   "LoggingDirectory"="C:\\Logs"
//   "Path"=hex(2):25,00,54,00,...     expandable text, UTF-16LE bytes
//   "Password"=hex:73,65,63,...,\     binary; long lines continue after ",\"
//     72,65,74
//   @="default value"
//
// Reading accepts UTF-16 (with a byte-order mark, or without one when the text starts with a
// plain character) and UTF-8; "REGEDIT4" files (8-bit text) too. "[-key]" and "name"=- (deletions,
// as in files made for importing) are applied. Writing gives UTF-8 with LF line ends; names escape
// \\ and \" (and line breaks as \r, \n, which only this reader understands); a text value that
// holds a line break or a zero is written as hex(1) so that every value stays on its lines.
// A file cut short is a fault where the cut shows: a hex value whose last line ends in its "\"
// continuation with no line after it, and hex data ending in a single digit (half a byte) on a
// last line without its line break.
// Stateless; callable from any thread.

#include <QByteArray>
#include <QStringList>

#include "RegistryKey.h"

namespace kivra {

class RegFileFormat {
public:
    // Applies the sections and values of an export file to root (whose subkeys are the hives,
    // "HKEY_CURRENT_USER", ...). Returns what could not be read, one text per fault ("line 7:
    // ..."); everything else is applied.
    static QStringList Apply(const QByteArray &file, RegistryKey &root);

    // The export text of the tree below root.
    static QByteArray Write(const RegistryKey &root);

    static QByteArray TextToData(const QString &text);  // UTF-16LE with a terminating zero
    static QString DataToText(const QByteArray &data);  // up to the first zero
};

}  // namespace kivra
