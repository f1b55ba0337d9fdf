// Fuzz target: the conversions of stored setting texts to Booleans and numbers.

#include "fuzz/fuzzcheck.h"
#include "report/zentavoerror.h"
#include "shell/settingsstore.h"

#include <cstdint>

using namespace zentavo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const bool value = settingToBoolean(text);
        fuzz::check(settingToBoolean(settingText(value)) == value, "a Boolean survives storing");
    } catch (const ZentavoError& error) {
        fuzz::check(error.number() == ErrorNumber::TypeMismatch, "a bad Boolean is a mismatch");
    }
    try {
        const int value = settingToInt32(text);
        fuzz::check(settingToInt32(QString::number(value)) == value, "a number survives storing");
    } catch (const ZentavoError& error) {
        fuzz::check(
            error.number() == ErrorNumber::TypeMismatch || error.number() == ErrorNumber::Overflow,
            "a bad number is a mismatch or an overflow");
    }
    return 0;
}
