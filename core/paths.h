#pragma once
// Path rules of the program, kept in one place. Paths may use Windows rules ("C:\PEDIDOS",
// drive roots "C:\") or POSIX ones ("/srv/pedidos", root "/"); every function handles both and
// keeps the separator style the path already uses.
#include <QString>

namespace paths {

// '\\' for a path written with backslashes or a drive letter ("C:"), '/' otherwise.
QChar separatorOf(const QString& path);

// A drive root ("C:\", "C:/", "C:") or the POSIX root "/".
bool isRoot(const QString& path);

// The application folder: the executable's folder with exactly one trailing separator
// ("C:\" stays "C:\", "C:\APP" becomes "C:\APP\", "/opt/app/" stays "/opt/app/").
QString applicationFolder(const QString& executableFolder);

// The folder list's form of a folder: a root keeps its one separator ("C:\", "/"), any other
// folder has no trailing separator ("C:\PEDIDOS", "/srv/pedidos").
QString folderListForm(const QString& folder);

// Joins a folder in folder-list form and a name the way downloads and uploads do: a root is
// followed directly by the name ("C:\" + "PED1.txt" = "C:\PED1.txt"), any other folder gets
// one separator between ("C:\PEDIDOS\PED1.txt").
QString joinName(const QString& folder, const QString& name);

// The file `name` inside `folder` (which ends with a separator or not), found whatever the
// case of the name stored on disk ("FTP.INI" answers for "ftp.ini", as on Windows). When no
// such file exists, the path with `name` as given.
QString findFileIgnoringCase(const QString& folder, const QString& name);

// A name for `name` inside `folder` that no file uses yet: `name` itself when free, otherwise
// "PED1 (2).txt", "PED1 (3).txt", ... (the number before the last extension). Never overwrites.
QString freeFileName(const QString& folder, const QString& name);

// The n-th of those names: `name` itself for 1, "PED1 (n).txt" from 2 on.
QString numberedName(const QString& name, int n);

} // namespace paths
