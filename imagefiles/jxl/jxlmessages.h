#pragma once

#include <QString>

namespace zentavo {

// libjxl has no way to hand over its messages: it prints its failures ("JXL_FAILURE: Invalid
// histogram count") on standard error. While a JxlMessages lives on a thread, what libjxl
// prints there goes to libraryMessage (imagefiles/libraries/librarymessages.h) instead, and
// the first failure is kept for the file's reason. Scopes nest; the innermost collects. In
// builds with the address sanitizer, whose own printing must stay untouched, libjxl's messages
// still reach standard error. Not to be shared between threads.
class JxlMessages {
public:
    JxlMessages();
    ~JxlMessages();
    JxlMessages(const JxlMessages&) = delete;
    JxlMessages& operator=(const JxlMessages&) = delete;

    // The first failure libjxl printed, without its source position; empty when none.
    const QString& first() const { return m_first; }

private:
    friend void takeJxlMessage(const char* text);
    JxlMessages* m_outer;
    QString m_first;
};

}  // namespace zentavo
