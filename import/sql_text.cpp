#include "import/sql_text.h"

#include <cmath>

namespace sql {

QString regionalNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // Fifteen significant digits, then the decimal point placed by hand: no exponent, no
    // grouping, no trailing zeros, whatever the size of the number.
    const QString e = QString::number(value, 'e', 14); // [-]d.dddddddddddddde[+-]xx
    const bool negative = e.startsWith(QLatin1Char('-'));
    const QString body = negative ? e.mid(1) : e;
    const qsizetype ePos = body.indexOf(QLatin1Char('e'));
    QString digits = body.left(1) + body.mid(2, ePos - 2);
    const int exponent = body.mid(ePos + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    if (digits == QLatin1String("0"))
        return QStringLiteral("0");
    QString s;
    if (exponent >= 0) {
        if (digits.size() <= exponent + 1)
            s = digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
        else
            s = digits.left(exponent + 1) + QLatin1Char('.') + digits.mid(exponent + 1);
    } else {
        s = QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + digits;
    }
    return negative ? QLatin1Char('-') + s : s;
}

bool isNumeric(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        ++i;
    bool digit = false;
    bool comma = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = true;
        else if (c == QLatin1Char(',') && !comma)
            comma = true;
        else if (c == QLatin1Char('.') && !comma)
            continue;
        else
            return false;
    }
    return digit;
}

std::optional<double> parseDecimal(const QString& text)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    qsizetype i = 0;
    if (t[0] == QLatin1Char('+') || t[0] == QLatin1Char('-'))
        i = 1;
    bool digit = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = true;
        else if (c == QLatin1Char('.') && !point)
            point = true;
        else
            return std::nullopt;
    }
    if (!digit)
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok); // QString::toDouble always uses the C locale
    if (!ok)
        return std::nullopt;
    return v;
}

} // namespace sql
