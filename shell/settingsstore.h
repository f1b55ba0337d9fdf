#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class QSettings;

namespace zentavo {

// The per-user store of the user's choices: text values under organisation "Corvanta",
// application "Zentavo", one value per key. Every change is written through at once and synced
// to disk; nothing is written at exit. GUI thread only.
class SettingsStore {
public:
    // Called after every write with the key and the text written, in write order.
    using WriteObserver = std::function<void(const QString& key, const QString& value)>;

    // Opens the user's store (QSettings' native format and per-user location).
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored text of key, or defaultValue converted to text when the key is absent (a number
    // becomes its decimal text: 1 gives "1"). Never fails for a missing key.
    QString GetSetting(const QString& key, const QVariant& defaultValue) const;

    // Stores value under key, replacing any earlier value, and syncs the store. A store that
    // cannot be written (a read-only configuration folder) is logged as a warning; the value
    // still reads back for the rest of the session.
    void SaveSetting(const QString& key, const QString& value);

    void setWriteObserver(WriteObserver observer) { m_observer = std::move(observer); }

private:
    std::unique_ptr<QSettings> m_settings;
    WriteObserver m_observer;
};

// The stored form of an option button's state: "True" or "False".
QString settingText(bool value);

// A stored text as a Boolean: "True" or "False" in any letter case, or a number (0 is false,
// anything else true); surrounding blanks are ignored. Throws ZentavoError(TypeMismatch)
// for any other text.
bool settingToBoolean(const QString& text);

// A stored text as a 32-bit whole number: a decimal number, rounded half to even when it has a
// fraction. Throws ZentavoError(TypeMismatch) for text that is not a number and
// ZentavoError(Overflow) outside the 32-bit range.
int settingToInt32(const QString& text);

}  // namespace zentavo
