#pragma once
// The recordset both adapters hand out: the first row of a select, read whole while the select
// ran, so the statement and its cursor are closed before the caller looks at a field.
#include "import/db/database.h"

#include <QString>
#include <QVector>
#include <utility>

class RowRecordset final : public IRecordset {
public:
    // Column names (or aliases) with their fields, in the order of the select.
    using Row = QVector<std::pair<QString, Field>>;

    // How field() matches a name to a column, always without regard to case.
    enum class NameMatch {
        Whole,                 // the column name as the driver gives it
        WholeOrAfterLastDot,   // also the part after its last "." ("P.SAFKTPPAG" answers to "safktppag")
    };

    // `hasRow` false: the select yielded no row.
    RowRecordset(Row row, bool hasRow, NameMatch match = NameMatch::Whole);

    bool eof() const override;
    Field field(const QString& name) const override;

private:
    Row row_;
    bool hasRow_;
    NameMatch match_;
};
