#pragma once
// Putting a finished file in its place without ever leaving half a file under a real name and
// without overwriting anything: the fetched orders into the local folder, the booked ones into
// "importados".
#include "core/failure.h"

#include <QString>

namespace files {

// Moves `source` into `folder` as `name`, or as the next free name ("PED1 (2).txt", ...) when
// that is taken. On one file system this is one rename that never replaces a file: the name
// shows the whole file or nothing, and there is no copy. Across file systems the file is copied
// under "<name>.part" inside `folder` (one left by an interrupted copy is replaced), forced to
// the disk, compared with the source, and then given its name the same way; the source goes
// last. Returns the path the file got. Throws a Failure naming the file when it
// cannot; the source then stays where it was.
QString moveToFreeName(const QString& source, const QString& folder, const QString& name);

// The file in `folder` named `name`, or one of the names moveToFreeName would have given in its
// place ("PED1 (2).txt", ... up to the first free one), that holds exactly the bytes of `file`;
// empty when there is none.
QString sameContentUnderName(const QString& folder, const QString& name, const QString& file);

// True when the two files hold the same bytes.
bool sameContent(const QString& a, const QString& b);

// Forces what was written to the file system of `folder` to the disk (false when it could not).
bool syncFileSystem(const QString& folder);

} // namespace files
