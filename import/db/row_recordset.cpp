#include "import/db/row_recordset.h"

RowRecordset::RowRecordset(Row row, bool hasRow, NameMatch match)
    : row_(std::move(row)), hasRow_(hasRow), match_(match)
{
}

bool RowRecordset::eof() const
{
    return !hasRow_;
}

Field RowRecordset::field(const QString& name) const
{
    if (!hasRow_)
        throw Failure(Failure::About::Database, QStringLiteral("Campo \"%1\" lido sem linha corrente (fim da consulta).").arg(name));
    for (const auto& [column, value] : row_) {
        if (column.compare(name, Qt::CaseInsensitive) == 0)
            return value;
        if (match_ == NameMatch::WholeOrAfterLastDot) {
            const QString bare = column.mid(column.lastIndexOf(QLatin1Char('.')) + 1);
            if (bare.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        }
    }
    throw Failure(Failure::About::Database, QStringLiteral("Campo \"%1\" não existe na consulta.").arg(name));
}
