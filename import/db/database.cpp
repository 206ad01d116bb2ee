#include "import/db/database.h"

#include "import/db/firebird/firebird_connection.h"
#include "import/db/odbc/odbc_connection.h"
#include "import/sql_text.h"

#include <QMap>

namespace {
const QString kFirebirdDriver = QStringLiteral("Firebird/InterBase(r) driver");
} // namespace

// A value opening with "{" runs to the "}" that is not doubled; "}}" inside it stands for one "}".
QMap<QString, QString> parseConnectionString(const QString& text)
{
    QMap<QString, QString> values;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            break;
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        QString value;
        if (i < n && text[i] == QLatin1Char('{')) {
            ++i;
            while (i < n) {
                if (text[i] == QLatin1Char('}')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('}')) {
                        value.append(QLatin1Char('}'));
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value.append(text[i++]);
            }
            // Anything between the closing brace and the next ";" is not part of the value.
            const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
            i = semi < 0 ? n : semi + 1;
        } else {
            const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (semi < 0 ? n : semi) - i);
            i = semi < 0 ? n : semi + 1;
        }
        if (!key.isEmpty() && !values.contains(key))
            values.insert(key, value);
    }
    return values;
}

double Field::toDouble() const
{
    switch (kind) {
    case Kind::Integer:
    case Kind::Decimal:
    case Kind::Text: {
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok); // C locale: "." is the decimal point
        if (ok)
            return v;
        break;
    }
    default:
        break;
    }
    throw Failure(Failure::About::Database, kind == Kind::Null ? QStringLiteral("Valor nulo onde se esperava um número.")
                                           : QStringLiteral("Valor \"%1\" não é um número.").arg(text));
}

std::unique_ptr<IConnection> openConnection(const QString& connectionString)
{
    const QMap<QString, QString> values = parseConnectionString(connectionString);
    const QString driver = values.value(QStringLiteral("driver")).trimmed();
    if (driver.compare(kFirebirdDriver, Qt::CaseInsensitive) == 0) {
        // An ODBC driver registered under this name is used when present (the driver manager
        // matches names without regard to case); otherwise our own client adapter.
        bool registered = false;
        for (const QString& name : registeredOdbcDrivers())
            registered = registered || name.compare(driver, Qt::CaseInsensitive) == 0;
        if (!registered)
            return openFirebirdConnection(values.value(QStringLiteral("database")), values.value(QStringLiteral("uid")),
                                          values.value(QStringLiteral("pwd")));
    }
    return openOdbcConnection(connectionString);
}
