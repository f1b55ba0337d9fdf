#pragma once

#include "report/dialogs.h"

#include <QString>
#include <QStringList>

namespace zentavo {

class FileList;

// Splits the bytes of a --files-from list into paths: each name ends with a line end, or with
// NUL when nullSeparated (the last one may lack it); empty names are skipped, and every other
// byte is part of a name, so with NUL every name a Linux file system can hold passes. Names are
// decoded byte for byte (decodeFileName). Pure.
QStringList splitPathList(const QByteArray& bytes, bool nullSeparated);

// Reads a --files-from list from the file at path, or from standard input for "-". False, with
// error set to a sentence, when it cannot be read.
bool readPathList(const QString& path, bool nullSeparated, QStringList& paths, QString& error);

// Fills list as the window would: a file PATH as given; a folder PATH expanded as a dropped
// folder or, with a scan extension, as "Add All File(s) In Folder" expands it, each of its
// files with its place in the folder's tree. Reports of the folder walk go to dialogs.
void fillList(FileList& list, const QStringList& paths, const QString& scanExtension,
              Dialogs& dialogs);

}  // namespace zentavo
