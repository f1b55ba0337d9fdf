#include "batch/closingmessage.h"

namespace zentavo {

namespace {

const QString NewLine = QStringLiteral("\r\n");

QString lines(const QStringList& entries) {
    QString text;
    for (const QString& entry : entries) {
        text += NewLine + entry;
    }
    return text;
}

}  // namespace

QString ClosingMessage::text() const {
    QString text = stopped ? QStringLiteral("Stopped.\r\n\r\n%1 of %2 files were processed.")
                                 .arg(processed)
                                 .arg(total)
                           : QStringLiteral("Done.");
    if (!notLoaded.isEmpty()) {
        text += QStringLiteral("\r\n\r\nThese files:\r\n") + lines(notLoaded) +
                QStringLiteral("\r\n\r\ncould not be loaded.");
    }
    if (!reencoded.isEmpty()) {
        text += QStringLiteral(
                    "\r\n\r\nThese files were re-encoded, their size does not allow a lossless "
                    "turn:\r\n") +
                lines(reencoded);
    }
    if (!partlyKept.isEmpty()) {
        text += QStringLiteral("\r\n\r\nOnly the first page of these files was kept:\r\n") +
                lines(partlyKept);
    }
    if (!resultExisted.isEmpty()) {
        text += QStringLiteral("\r\n\r\nThese files were skipped, their results exist:\r\n") +
                lines(resultExisted);
    }
    if (!hiddenErrors.isEmpty()) {
        text += QStringLiteral("\r\n\r\nThese errors were not shown:") + lines(hiddenErrors);
    }
    return text;
}

}  // namespace zentavo
