#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace zentavo {

// Compares two file names the way a file manager lists them: letters without regard to case,
// runs of the digits 0 to 9 by their value (f2 before f10, whatever their length). Names that
// compare equal that way are ordered by fewer leading zeros first and then by their code points,
// so the order is total and the same in every locale. Negative, zero or positive like strcmp.
// Pure, any thread.
int naturalCompare(QStringView a, QStringView b);

inline bool naturalLess(const QString& a, const QString& b) {
    return naturalCompare(a, b) < 0;
}

// Sorts names in place by naturalCompare.
void sortNaturally(QStringList& names);

}  // namespace zentavo
