#pragma once
// How the import tells the user what it does; the window implements it (message boxes, log,
// status line; when headless the log on standard output, boxes and warnings on standard error).
#include <QString>

class IImportReport {
public:
    virtual ~IImportReport() = default;
    // A box with the critical icon (configuration checks, a file that could not be imported).
    virtual void critical(const QString& text) = 0;
    // A line of the log (missing products, replaced characters...).
    virtual void log(const QString& line) = 0;
    // A line of the log a person has to act on (an order booked without some of its products);
    // headless it also goes where the boxes go.
    virtual void warning(const QString& line) { log(line); }
    // Progress of a long piece of work (the status line; a line on stdout when headless).
    virtual void progress(const QString& line) = 0;
};
