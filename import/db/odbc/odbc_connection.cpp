#include "import/db/odbc/odbc_connection.h"

#include "import/db/row_recordset.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sql.h>
#include <sqlext.h>

#include <utility>

namespace {

QAtomicInt connectionCounter;

QString errorText(const QSqlError& error)
{
    QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("Erro desconhecido do driver ODBC.") : text;
}

Field toField(const QSqlField& column, const QVariant& value)
{
    Field f;
    if (value.isNull()) {
        f.kind = Field::Kind::Null;
        return f;
    }
    switch (column.metaType().id()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        f.kind = Field::Kind::Integer;
        f.text = value.toString();
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        // High precision: exact decimals arrive as the driver's text.
        f.kind = Field::Kind::Decimal;
        f.text = value.toString();
        break;
    case QMetaType::QString:
        f.kind = Field::Kind::Text;
        f.text = value.toString();
        break;
    case QMetaType::QDate:
        f.kind = Field::Kind::Other;
        f.text = value.toDate().toString(Qt::ISODate);
        break;
    case QMetaType::QDateTime:
        f.kind = Field::Kind::Other;
        f.text = value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        break;
    default:
        f.kind = Field::Kind::Other;
        f.text = value.toString();
        break;
    }
    return f;
}

class OdbcConnection final : public IConnection {
public:
    explicit OdbcConnection(const QString& connectionString)
        : name_(QStringLiteral("pedidos_odbc_%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
    {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")))
            throw Failure(Failure::About::Database, QStringLiteral("O driver ODBC do Qt (QODBC) não está instalado."));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
            db.setDatabaseName(connectionString);
            db.setNumericalPrecisionPolicy(QSql::HighPrecision);
            if (!db.open()) {
                const QString message = errorText(db.lastError());
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(name_);
                throw Failure(Failure::About::Database, message);
            }
            const QString driver = connectionString.section(QLatin1Char(';'), 0, 0);
            description_ = QStringLiteral("ODBC ") + driver;
        }
    }

    ~OdbcConnection() override
    {
        {
            QSqlDatabase db = database();
            if (transaction_)
                db.rollback();
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }

    void execute(const QString& sql, const QStringList& values) override
    {
        run([&](QSqlDatabase& db) { prepared(db, sql, values); });
    }

    std::unique_ptr<IRecordset> open(const QString& sql, const QStringList& values) override
    {
        RowRecordset::Row row;
        bool hasRow = false;
        run([&](QSqlDatabase& db) {
            QSqlQuery query = prepared(db, sql, values, true);
            hasRow = query.next();
            if (hasRow) {
                const QSqlRecord record = query.record();
                for (int i = 0; i < record.count(); ++i)
                    row.append({record.fieldName(i), toField(record.field(i), query.value(i))});
            } else if (query.lastError().isValid()) {
                throw Failure(Failure::About::Database, errorText(query.lastError()));
            }
        });
        // Some drivers name a column "P.SAFKTPPAG": the part after the last "." counts too.
        return std::make_unique<RowRecordset>(std::move(row), hasRow, RowRecordset::NameMatch::WholeOrAfterLastDot);
    }

    void begin() override
    {
        if (transaction_)
            throw Failure(Failure::About::Database, QStringLiteral("Já existe uma transação aberta nesta conexão."));
        QSqlDatabase db = database();
        if (!db.transaction())
            throw Failure(Failure::About::Database, errorText(db.lastError()));
        transaction_ = true;
    }

    void commit() override
    {
        if (!transaction_)
            throw Failure(Failure::About::Database, QStringLiteral("Nenhuma transação aberta para confirmar."));
        transaction_ = false;
        QSqlDatabase db = database();
        if (!db.commit()) {
            const QString message = errorText(db.lastError());
            db.rollback();
            throw Failure(Failure::About::Database, message);
        }
    }

    void rollback() override
    {
        if (!std::exchange(transaction_, false))
            return;
        database().rollback();
    }

    bool inTransaction() const override { return transaction_; }

    // Not offered: each database has savepoint statements of its own (SAVE TRANSACTION on SQL
    // Server), and the work of an order runs in a transaction of its own.
    bool hasSavepoints() const override { return false; }
    void savepoint() override { noSavepoints(); }
    void releaseSavepoint() override { noSavepoints(); }
    void rollbackToSavepoint() override { noSavepoints(); }

    QString description() const override { return description_; }

    void setWarningHandler(std::function<void(const QString&)> handler) override { warn_ = std::move(handler); }

private:
    QSqlDatabase database() const { return QSqlDatabase::database(name_, false); }

    [[noreturn]] static void noSavepoints()
    {
        throw Failure(Failure::About::Database, QStringLiteral("Pontos de salvamento não são usados numa conexão ODBC."));
    }

    // The statement prepared and run with its values bound as texts, an empty one as an empty
    // text (a null QString would go as NULL).
    static QSqlQuery prepared(QSqlDatabase& db, const QString& sql, const QStringList& values, bool select = false)
    {
        QSqlQuery query(db);
        query.setForwardOnly(select);
        if (!query.prepare(sql))
            throw Failure(Failure::About::Database, errorText(query.lastError()));
        for (const QString& value : values)
            query.addBindValue(value.isNull() ? QString(QLatin1String("")) : value);
        if (!query.exec())
            throw Failure(Failure::About::Database, errorText(query.lastError()));
        return query;
    }

    template <typename Work>
    void run(Work&& work)
    {
        QSqlDatabase db = database();
        if (transaction_) {
            work(db);
            return;
        }
        if (!db.transaction())
            throw Failure(Failure::About::Database, errorText(db.lastError()));
        try {
            work(db);
        } catch (...) {
            db.rollback();
            throw;
        }
        if (!db.commit()) {
            const QString message = errorText(db.lastError());
            db.rollback();
            throw Failure(Failure::About::Database, message);
        }
    }

    QString name_;
    QString description_;
    bool transaction_ = false;
    std::function<void(const QString&)> warn_;
};

} // namespace

std::unique_ptr<IConnection> openOdbcConnection(const QString& connectionString)
{
    return std::make_unique<OdbcConnection>(connectionString);
}

QStringList registeredOdbcDrivers()
{
    QStringList names;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return names;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLCHAR description[512];
        SQLCHAR attributes[2048];
        SQLSMALLINT descriptionLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDrivers(env, direction, description, sizeof description, &descriptionLength,
                                        attributes, sizeof attributes, &attributesLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        names << QString::fromUtf8(reinterpret_cast<const char*>(description));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return names;
}
