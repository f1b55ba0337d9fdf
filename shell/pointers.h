#pragma once

#include <QCursor>
#include <QString>

#include <optional>

namespace zentavo {

// The window's pointer kinds, under the numbers the busy checks and pointer rules use.
enum class PointerKind { Default = 0, Arrow = 1, Hourglass = 11, Custom = 99 };

// A pointer picture from a .cur or .ico file, with the hot spot a .cur file records (the
// picture's centre for an .ico file). Nothing when the file is missing or cannot be decoded.
// GUI thread.
std::optional<QCursor> loadPointerFile(const QString& path);

}  // namespace zentavo
