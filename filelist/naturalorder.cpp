#include "filelist/naturalorder.h"

#include <algorithm>

namespace zentavo {

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

}  // namespace

int naturalCompare(QStringView a, QStringView b) {
    qsizetype i = 0;
    qsizetype j = 0;
    // The first difference that the natural order ignores (case, leading zeros) decides a tie.
    int tie = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype startA = i;
            qsizetype startB = j;
            while (startA < a.size() && a[startA] == QLatin1Char('0')) {
                ++startA;
            }
            while (startB < b.size() && b[startB] == QLatin1Char('0')) {
                ++startB;
            }
            qsizetype endA = startA;
            qsizetype endB = startB;
            while (endA < a.size() && isDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && isDigit(b[endB])) {
                ++endB;
            }
            // Without leading zeros the longer run is the larger number; runs of equal length
            // compare digit by digit, so no number is too long to compare.
            if (endA - startA != endB - startB) {
                return endA - startA < endB - startB ? -1 : 1;
            }
            for (qsizetype k = 0; k < endA - startA; ++k) {
                if (a[startA + k] != b[startB + k]) {
                    return a[startA + k] < b[startB + k] ? -1 : 1;
                }
            }
            if (tie == 0 && startA - i != startB - j) {
                tie = startA - i < startB - j ? -1 : 1;
            }
            i = endA;
            j = endB;
            continue;
        }
        const QChar ca = a[i++];
        const QChar cb = b[j++];
        if (ca == cb) {
            continue;
        }
        const char16_t foldedA = ca.toCaseFolded().unicode();
        const char16_t foldedB = cb.toCaseFolded().unicode();
        if (foldedA != foldedB) {
            return foldedA < foldedB ? -1 : 1;
        }
        if (tie == 0) {
            tie = ca < cb ? -1 : 1;
        }
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;
    }
    return sign(tie);
}

void sortNaturally(QStringList& names) {
    std::sort(names.begin(), names.end(), naturalLess);
}

}  // namespace zentavo
