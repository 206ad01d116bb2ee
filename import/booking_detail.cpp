#include "import/booking_detail.h"

#include "import/erp_session.h"

namespace booking {

QString shortDate(const QDate& date)
{
    return QStringLiteral("%1/%2/%3").arg(date.month()).arg(date.day()).arg(date.year());
}

QString timestampText(const QDateTime& now)
{
    return shortDate(now.date()) + QLatin1Char(' ') + now.time().toString(QStringLiteral("HH:mm:ss"));
}

QString fieldText(const Field& field)
{
    return field.isNull() ? QString() : field.text;
}

IRecordset& openQuery(ImportState& state, const QString& sql, const QStringList& values)
{
    FECHA_CONSULTA(state);
    state.query = state.connection->open(sql, values);
    return *state.query;
}

} // namespace booking
