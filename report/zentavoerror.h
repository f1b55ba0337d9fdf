#pragma once

#include <QString>
#include <stdexcept>

namespace zentavo {

// Error numbers the program raises itself, kept as the numbers users may quote.
enum class ErrorNumber : int {
    Overflow = 6,
    CannotSave = 5,
    InvalidProcedureCall = 5,
    OutOfMemory = 7,
    TypeMismatch = 13,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
    Generic = 1000,
};

// An error raised by the program's own procedures: a number and a description. Guarded
// procedures catch it (and any other std::exception) and show it in the error report.
class ZentavoError : public std::runtime_error {
public:
    ZentavoError(ErrorNumber number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number),
          m_description(description) {}

    ErrorNumber number() const { return m_number; }
    const QString& description() const { return m_description; }

private:
    ErrorNumber m_number;
    QString m_description;
};

}  // namespace zentavo
