#include "core/failure.h"

Failure::Failure(About about, const QString& message, int code, bool connectionLost)
    : std::runtime_error(message.toStdString())
    , about_(about)
    , message_(message)
    , code_(code)
    , connectionLost_(connectionLost)
{
}

Failure Failure::as(About about, const QString& message) const
{
    return Failure(about, message, code_, connectionLost_);
}

Failure Failure::current(About about, int code)
{
    try {
        throw;
    } catch (const Failure& e) {
        return e;
    } catch (const std::exception& e) {
        return Failure(about, QString::fromUtf8(e.what()), code);
    } catch (...) {
        return Failure(about, QStringLiteral("Falha inesperada"), code);
    }
}
