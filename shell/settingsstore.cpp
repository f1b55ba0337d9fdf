#include "shell/settingsstore.h"

#include "report/zentavoerror.h"

#include <QSettings>

#include <cmath>
#include <limits>

namespace zentavo {

namespace {

constexpr char Organisation[] = "Corvanta";
constexpr char Application[] = "Zentavo";

ZentavoError typeMismatch() {
    return ZentavoError(ErrorNumber::TypeMismatch, QStringLiteral("Type mismatch"));
}

}  // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QLatin1String(Organisation),
                                             QLatin1String(Application))) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::GetSetting(const QString& key, const QVariant& defaultValue) const {
    const QVariant stored = m_settings->value(key);
    if (stored.isValid()) {
        return stored.toString();
    }
    return defaultValue.toString();
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
    m_settings->setValue(key, value);
    m_settings->sync();
    // The handlers that write have nobody to tell; the value still holds for this session.
    if (m_settings->status() != QSettings::NoError) {
        qWarning("Zentavo: the setting %s could not be saved to %s", qPrintable(key),
                 qPrintable(m_settings->fileName()));
    }
    if (m_observer) {
        m_observer(key, value);
    }
}

QString settingText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool settingToBoolean(const QString& text) {
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool ok = false;
    const double number = word.toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        throw typeMismatch();
    }
    return number != 0.0;
}

int settingToInt32(const QString& text) {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || std::isnan(number)) {
        throw typeMismatch();
    }
    // Stored numbers are whole in practice; a fraction rounds to the even neighbour on a tie.
    const double rounded = std::nearbyint(number);
    if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max()) {
        throw ZentavoError(ErrorNumber::Overflow, QStringLiteral("Overflow"));
    }
    return static_cast<int>(rounded);
}

}  // namespace zentavo
