#pragma once
// How the import tells the user what it does; the window implements it (message boxes, log,
// status line; standard error when headless).
#include <QString>

class IImportReport {
public:
    virtual ~IImportReport() = default;
    // A box with the critical icon (configuration checks, a file that could not be imported).
    virtual void critical(const QString& text) = 0;
    // A line of the log (missing products, replaced characters...).
    virtual void log(const QString& line) = 0;
    // Progress of a long piece of work (the status line; a line on stderr when headless).
    virtual void progress(const QString& line) = 0;
};
