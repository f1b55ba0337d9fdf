#include "report/errorreport.h"

#include "report/zentavoerror.h"

#include <new>

namespace zentavo {

QString errorReportMessage(const QString& description, const QString& location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
           + QString::number(line) + QStringLiteral("\r\r")
           + QStringLiteral("Please email screenshot of this message to ")
           + QLatin1String(SupportAddress);
}

std::optional<ErrorReportParts> parseErrorReportMessage(const QString& text)
{
    const QString request = QStringLiteral("\r\rPlease email screenshot of this message to ")
                            + QLatin1String(SupportAddress);
    if (!text.endsWith(request)) {
        return std::nullopt;
    }
    const QString head = text.left(text.size() - request.size());
    const qsizetype at = head.lastIndexOf(QLatin1String("at line "));
    const qsizetype location = head.lastIndexOf(QLatin1String("\r\nin "), at);
    if (at < 0 || location < 0) {
        return std::nullopt;
    }
    bool ok = false;
    const int line = head.mid(at + 8).toInt(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return ErrorReportParts{head.left(location), head.mid(location + 2, at - location - 2), line};
}

QString describeException(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ZentavoError& e) {
        return e.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

ErrorReport::ErrorReport(Dialogs& dialogs, QString location, QString title)
    : m_dialogs(dialogs), m_location(std::move(location)), m_title(std::move(title))
{
}

bool ErrorReport::step(int number, const std::function<void()>& statement)
{
    m_line = number;
    try {
        statement();
        return true;
    } catch (...) {
        report(number, describeException(std::current_exception()));
        return false;
    }
}

bool ErrorReport::test(int number, const std::function<bool()>& condition, bool fallback)
{
    bool value = fallback;
    step(number, [&] { value = condition(); });
    return value;
}

void ErrorReport::report(int number, const QString& description)
{
    m_line = number;
    ++m_reports;
    m_dialogs.message(errorReportMessage(description, m_location, number), m_title,
                      MessageIcon::Exclamation);
}

}  // namespace zentavo
